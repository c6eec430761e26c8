// A "CHECK" run of the 32-bit program on 64-bit Windows. (What a check tells
// of a machine is played from the catalogue, tests/scenarios/catalogue.txt.)
#include "machine_fixture.h"

using namespace pos;

namespace {

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
