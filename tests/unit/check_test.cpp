// "CHECK": whether the machine is as an install (or an uninstall) leaves it,
// read through the whole run without changing anything; and the port search
// that finds ports whatever interfaces their driver stack exposes.
#include "machine_fixture.h"

using namespace pos;

namespace {

// One run of the program in a story: its argument text, and what it must
// end with: the exit code, the line on the captured standard output ("" for
// none), a line of its trace ("" for none to look for).
struct Step {
    const char* arguments;
    int exitCode;
    std::string output;
    std::string trace = "";
};

struct Story {
    const char* name;
    void (*arrange)(sim::Machine&);
    std::vector<Step> steps;
};
void PrintTo(const Story& story, std::ostream* os) { *os << story.name; }

class CheckStoryTest : public MachineTest, public ::testing::WithParamInterface<Story> {};

// Every step's state of the machine is what its run left; a check changes none of it.
TEST_P(CheckStoryTest, EachRunEndsAsItMust) {
    PutTableInfs();
    machine().standardOutput = sim::Machine::StandardOutput::File;
    GetParam().arrange(machine());
    for (const Step& step : GetParam().steps) {
        SCOPED_TRACE(step.arguments);
        ResetDeviceTable();
        machine().ClearTrace();
        const std::string before = machine().StateText();
        const std::size_t written = machine().StandardOutputText().size();

        EXPECT_EQ(RunWholeProgram(step.arguments), step.exitCode);

        const std::string output = machine().StandardOutputText().substr(written);
        EXPECT_EQ(output, step.output.empty() ? "" : step.output + "\r\n");
        EXPECT_TRUE(step.trace.empty() || TraceHas(step.trace)) << "missing trace: " << step.trace;
        if (const auto log = machine().ReadWholeFile("C:\\check.log")) {
            // The log asked for is the one file a check makes.
            EXPECT_NE(log->find("Finished: machine as an install leaves it, exit code 0\r\n"), std::string::npos);
            std::filesystem::remove(machine().HostPath("C:\\check.log"));
        }
        if (std::string(step.arguments).find("CHECK") != std::string::npos) {
            EXPECT_EQ(machine().StateText(), before) << "a check changed the machine";
            EXPECT_TRUE(machine().MessageBoxes().empty());
        }
    }
}

void FourPortMachine(sim::Machine& m) {
    for (const auto& device : {BaseDevice(), Card(), Port('C'), Port('D'), Port('E'), Port('F')}) m.AddDevice(device);
}

// Ports whose driver stack loads no serial enumerator: of the Ports class, no interface.
void PortsWithoutTheInterface(sim::Machine& m) {
    FourPortMachine(m);
    for (char letter : {'C', 'D', 'E', 'F'}) {
        sim::Device port = Port(letter);
        port.interfaces.clear();
        m.AddDevice(port);
    }
}

constexpr char kInstalled[] = "ZAN drivers installed: Serial Ports C to F are COM3 to COM6";
constexpr char kRemoved[] = "ZAN drivers removed: no card, no base device, no OEM INF copy of theirs";

INSTANTIATE_TEST_SUITE_P(Stories, CheckStoryTest, ::testing::Values(
    // Before, after an install, after a port renamed by hand, after an uninstall.
    Story{"FreshInstalledRenamedUninstalled", FourPortMachine, {
        {"CHECK MAROVEL_SERIAL", 1,
         "ZAN drivers not installed: ZAN 7350-21x Serial Multifunction Device has no driver; Serial Port C has no "
         "driver; Serial Port C is unnamed, not COM3; Serial Port D has no driver; Serial Port D is unnamed, not COM4; "
         "Serial Port E has no driver; Serial Port E is unnamed, not COM5; Serial Port F has no driver; Serial Port F "
         "is unnamed, not COM6",
         "--> Check verdict: 9 of 9 items differ from what an install leaves"},
        {"CHECK UNINSTALL", 1,
         "ZAN drivers not removed: ZAN 7350-21x Base Device is still there; ZAN 7350-21x Serial Multifunction Device "
         "is still there"},
        {"INSTALL SILENT MAROVEL_SERIAL", 0, ""},
        {"CHECK MAROVEL_SERIAL", 0, kInstalled, "--> Check verdict: the machine is as an install leaves it (9 items)"},
        // The one-port choice asks for less than the four ports give.
        {"CHECK", 0, "ZAN drivers installed: Serial Port C is COM3"},
        // A declined base device is not checked; one asked for is, and has no driver.
        {"CHECK BASE_DEVICE MAROVEL_SERIAL", 1,
         "ZAN drivers not installed: ZAN 7350-21x Base Device has no driver"},
        {"CHECK MAROVEL_SERIAL /LOG=C:\\check.log", 0, kInstalled},
    }},
    Story{"PortRenamedByHand",
          [](sim::Machine& m) {
              FourPortMachine(m);
              ResetDeviceTable();
              RunWholeProgram("INSTALL SILENT MAROVEL_SERIAL");
              m.SetValue(ParamsKey(kPorts[1].instanceId), "PortName", sim::Sz("COM7"));
          },
          {
              {"CHECK MAROVEL_SERIAL", 1, "ZAN drivers not installed: Serial Port D is COM7, not COM4",
               "--> Check Serial Port D names: expected PortName \"COM4\" and friendly name \"Serial Port D(COM4)\"; "
               "found PortName \"COM7\" and friendly name \"Serial Port D(COM4)\" [Differs]"},
              {"INSTALL SILENT MAROVEL_SERIAL", 0, ""},
              {"CHECK MAROVEL_SERIAL", 0, kInstalled},
              {"UNINSTALL", 0, ""},
              {"CHECK UNINSTALL", 0, kRemoved, "--> Check verdict: the machine is as an uninstall leaves it (4 items)"},
          }},
    // The port search finds them among the Ports class: they get their names.
    Story{"PortsWithoutTheInterface", PortsWithoutTheInterface, {
        {"INSTALL SILENT MAROVEL_SERIAL", 0, ""},
        {"CHECK MAROVEL_SERIAL", 0, kInstalled},
    }},
    // Another run holds the lock: a check would read a machine half done.
    Story{"LockHeldElsewhere", [](sim::Machine& m) { m.HoldMutexElsewhere(kRunLockName); }, {
        {"CHECK", 1618, "", "--> Refused: another run in progress"},
    }},
    // A console is no capture: the exit code alone tells.
    Story{"OutputToAConsole",
          [](sim::Machine& m) {
              FourPortMachine(m);
              m.standardOutput = sim::Machine::StandardOutput::Console;
          },
          {{"CHECK UNINSTALL", 1, ""}}}));

// The 32-bit program hands a check over like any run, with its captured
// output: the one handle the 64-bit program inherits. Any other run passes
// nothing, as before.
TEST_F(MachineTest, AHandedOverCheckPassesTheCapturedOutputAndNothingElseDoes) {
    machine().wow64 = true;
    machine().standardOutput = sim::Machine::StandardOutput::Pipe;
    machine().AddProgram("C:\\ZAN\\x64\\ZanDriverInstaller.exe", [](const std::string&) -> DWORD { return 1; });
    const std::string before = machine().StateText();

    EXPECT_EQ(RunWholeProgram("CHECK UNINSTALL"), 1);
    EXPECT_EQ(RunWholeProgram("UNINSTALL UNATTENDED"), 1);

    const auto starts = machine().ProcessStarts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].commandLine, "\"C:\\ZAN\\x64\\ZanDriverInstaller.exe\" CHECK UNINSTALL");
    EXPECT_TRUE(starts[0].standardOutputPassed);
    EXPECT_TRUE(starts[0].inheritHandles);
    EXPECT_FALSE(starts[1].standardOutputPassed);
    EXPECT_FALSE(starts[1].inheritHandles);
    EXPECT_EQ(machine().OpenHandles().duplicates, 0);
    EXPECT_EQ(machine().StateText(), before);
}

// Without the 64-bit program a check fails without a box or a marker.
TEST_F(MachineTest, ACheckThatCannotBeHandedOverTouchesNoMarker) {
    machine().wow64 = true;
    machine().standardOutput = sim::Machine::StandardOutput::Pipe;
    machine().PutFile(std::string(kWin) + "\\RESULT.SUCCESS");
    const std::string before = machine().StateText();

    EXPECT_EQ(RunWholeProgram("CHECK"), 1);

    EXPECT_EQ(machine().StateText(), before);
    EXPECT_TRUE(machine().MessageBoxes().empty());
    EXPECT_EQ(machine().StandardOutputText(),
              "ZAN drivers could not be checked: the 64-bit program could not be started\r\n");
}

}  // namespace
