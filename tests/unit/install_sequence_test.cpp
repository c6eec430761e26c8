// The install operation on a simulated point-of-sale machine, end to end
// through the worker thread's entry.
#include "machine_fixture.h"

#include "device/driver_update.h"

using namespace pos;

namespace {

using Lines = std::vector<std::string>;

Lines InstallLines(const std::string& description) {
    return {"Installing " + description + "...", "Installing " + description + "...[OK]",
            "sleep 2000"};
}

Lines MappingLines(char letter) {
    const std::string line = std::string("Mapping Serial Port ") + letter + " to COM" +
                             std::to_string(3 + (letter - 'C')) + "...";
    return {line, line + "[OK]", "sleep 2000"};
}

Lines Concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const std::string kOnePortInf = std::string(kWin) + "\\INF\\.\\1port\\ZAN2kmf.inf";
const std::string kFourPortInf = std::string(kWin) + "\\INF\\.\\4port\\ZAN2kmf.inf";
const std::string kBaseInf = std::string(kWin) + "\\INF\\ZANBaseD.inf";
const std::string kPortsInf = std::string(kWin) + "\\INF\\ZANPorts.inf";

struct Selection {
    const char* cmdLine;
    std::vector<std::pair<std::string, std::string>> updates;  // hardware ID, INF path
    std::vector<std::string> installed;                        // status descriptions
    std::string ports;                                         // ports mapped, in order
    bool baseInfKept;
};

class InstallSelection : public MachineTest, public ::testing::WithParamInterface<Selection> {};

}  // namespace

TEST_P(InstallSelection, InstallsTheSelectedRowsInOrderThenMapsTheirPorts) {
    const Selection& selection = GetParam();
    PutTableInfs();
    AddPosDevices(true, "CDEF");

    EXPECT_EQ(Run(selection.cmdLine), RunOutcome::Succeeded);

    std::vector<std::pair<std::string, std::string>> updates;
    for (const auto& call : machine().DriverUpdates()) {
        EXPECT_EQ(call.flags, INSTALLFLAG_FORCE);
        updates.emplace_back(call.hardwareId, call.infPath);
    }
    EXPECT_EQ(updates, selection.updates);

    Lines expected;
    for (const std::string& description : selection.installed) {
        expected = Concat({expected, InstallLines(description)});
    }
    for (char letter : selection.ports) expected = Concat({expected, MappingLines(letter)});
    EXPECT_EQ(Timeline(), expected);

    for (const PortDevice& port : kPorts) {
        const bool mapped = selection.ports.find(port.letter) != std::string::npos;
        const std::string key = std::string("SYSTEM\\CurrentControlSet\\Enum\\") + port.instanceId +
                                "\\Device Parameters";
        EXPECT_EQ(machine().GetValue(key, "PortName").has_value(), mapped) << port.letter;
    }
    EXPECT_EQ(machine().FileExists(kBaseInf), selection.baseInfKept);
    // The precompiled companion of a declined base INF is left alone.
    EXPECT_TRUE(machine().FileExists(std::string(kWin) + "\\INF\\ZANBaseD.pnf"));
    EXPECT_TRUE(machine().MessageBoxes().empty());
    EXPECT_EQ(Markers(), Lines{"RESULT.SUCCESS"});
}

INSTANTIATE_TEST_SUITE_P(
    SilentChoices, InstallSelection,
    ::testing::Values(
        Selection{"INSTALL SILENT", {{kCardId, kOnePortInf}, {"MF\\PCI1D9E_COMF", kPortsInf}},
                  {kCardDesc, "Serial Port C"}, "C", false},
        Selection{"INSTALL SILENT BASE_DEVICE",
                  {{kBaseId, kBaseInf}, {kCardId, kOnePortInf}, {"MF\\PCI1D9E_COMF", kPortsInf}},
                  {kBaseDesc, kCardDesc, "Serial Port C"}, "C", true},
        Selection{"INSTALL SILENT MAROVEL_SERIAL",
                  {{kCardId, kFourPortInf},
                   {"MF\\PCI1D9E_COMF", kPortsInf},
                   {"MF\\PCI1D9E_COMC", kPortsInf},
                   {"MF\\PCI1D9E_COME", kPortsInf},
                   {"MF\\PCI1D9E_COMD", kPortsInf}},
                  {kCardDesc, "Serial Port C", "Serial Port D", "Serial Port E", "Serial Port F"},
                  "CDEF", false},
        Selection{"/q INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL",
                  {{kBaseId, kBaseInf},
                   {kCardId, kFourPortInf},
                   {"MF\\PCI1D9E_COMF", kPortsInf},
                   {"MF\\PCI1D9E_COMC", kPortsInf},
                   {"MF\\PCI1D9E_COME", kPortsInf},
                   {"MF\\PCI1D9E_COMD", kPortsInf}},
                  {kBaseDesc, kCardDesc, "Serial Port C", "Serial Port D", "Serial Port E",
                   "Serial Port F"},
                  "CDEF", true}));

TEST_F(MachineTest, WithoutSilentBothQuestionsAreAskedInOrderAndOnlyYesCounts) {
    PutTableInfs();
    AddPosDevices(true, "CDEF");
    // Choice keywords mean nothing without "SILENT"; Cancel is not Yes.
    machine().QueueAnswers({IDCANCEL, IDYES});

    EXPECT_EQ(Run("INSTALL BASE_DEVICE"), RunOutcome::Succeeded);

    const auto boxes = machine().MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text,
              "Do you want to install the base device driver?\n\nNote: Not recommended if "
              "installing the ZAN Point of Sale drivers.\n");
    EXPECT_EQ(boxes[0].caption, "Install the Base Device Driver?");
    EXPECT_EQ(boxes[0].type, MB_YESNO);
    EXPECT_EQ(boxes[1].text, "Is an RS-232 Marovel card present?\n\n");
    EXPECT_EQ(boxes[1].caption, "Install the Marovel RS-232 Driver?");
    EXPECT_EQ(boxes[1].type, MB_YESNO);

    const auto updates = machine().DriverUpdates();
    ASSERT_EQ(updates.size(), 5u);
    EXPECT_EQ(updates[0].infPath, kFourPortInf);
    EXPECT_FALSE(machine().FileExists(kBaseInf));
}

TEST_F(MachineTest, YesToTheBaseDeviceQuestionInstallsIt) {
    PutTableInfs();
    AddPosDevices(true, "C");
    machine().QueueAnswers({IDYES, IDNO});

    EXPECT_EQ(Run("INSTALL MAROVEL_SERIAL"), RunOutcome::Succeeded);

    const auto updates = machine().DriverUpdates();
    ASSERT_EQ(updates.size(), 3u);
    EXPECT_EQ(updates[0].hardwareId, kBaseId);
    EXPECT_EQ(updates[1].infPath, kOnePortInf);
    EXPECT_TRUE(machine().FileExists(kBaseInf));
}

TEST_F(MachineTest, AMissingCardFailsTheInstallAtItsRowAndLeavesOnlyTheFailMarker) {
    PutTableInfs();
    machine().AddDevice(BaseDevice());
    machine().AddDevice(Port('C'));
    machine().PutFile(std::string(kWin) + "\\RESULT.SUCCESS");

    EXPECT_EQ(Run("INSTALL SILENT BASE_DEVICE"), RunOutcome::Failed);

    EXPECT_EQ(Timeline(),
              Concat({InstallLines(kBaseDesc),
                      {"Installing ZAN 7350-21x Serial Multifunction Device...",
                       "Installing ZAN 7350-21x Serial Multifunction Device...[Failed]",
                       "sleep 2000"}}));
    const auto updates = machine().DriverUpdates();
    ASSERT_EQ(updates.size(), 2u);  // Serial Port C is not attempted
    EXPECT_EQ(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B52\\BASE0")->driverInf, kBaseInf);
    EXPECT_TRUE(machine().FindDevice(kPorts[0].instanceId)->driverInf.empty());
    EXPECT_TRUE(TraceHas("----> Device Driver Installation failed : No such device\n"));
    EXPECT_TRUE(TraceHas("--> Failure installing Driver"));

    const auto boxes = machine().MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "An error was encountered while installing the drivers.");
    EXPECT_EQ(boxes[0].caption, kCaption);
    EXPECT_EQ(boxes[0].type, MB_OK);
    EXPECT_EQ(Markers(), Lines{"RESULT.FAIL"});
    EXPECT_FALSE(machine().GetValue(
        std::string("SYSTEM\\CurrentControlSet\\Enum\\") + kPorts[0].instanceId + "\\Device Parameters",
        "PortName"));
}

TEST_F(MachineTest, ADeclinedBaseDeviceLosesItsInfEvenWhenTheInstallFails) {
    PutTableInfs();  // no devices at all

    EXPECT_EQ(Run("INSTALL SILENT"), RunOutcome::Failed);

    EXPECT_FALSE(machine().FileExists(kBaseInf));
    EXPECT_TRUE(machine().FileExists(kOnePortInf));
    EXPECT_EQ(Markers(), Lines{"RESULT.FAIL"});
}

TEST_F(MachineTest, EachInstallOpensWithTheSameBannerAndFullInfPath) {
    PutTableInfs();
    AddPosDevices(false, "C");

    ASSERT_EQ(Run("INSTALL SILENT"), RunOutcome::Succeeded);

    const auto trace = Trace();
    ASSERT_GE(trace.size(), 2u);
    EXPECT_EQ(trace[0], "**** InstallTiDevice(), Installing Root Port USB Driver ****");
    EXPECT_EQ(trace[1], "--> Installing device driver");
    EXPECT_EQ(std::count(trace.begin(), trace.end(),
                         "**** InstallTiDevice(), Installing Root Port USB Driver ****"),
              2);
}

// The four ways a driver update fails, each traced with its cause.
struct UpdateFailure {
    DWORD error;
    const char* trace;
};

class DriverUpdateFailure : public MachineTest,
                            public ::testing::WithParamInterface<UpdateFailure> {};

TEST_P(DriverUpdateFailure, IsTracedWithItsCause) {
    PutTableInfs();
    AddPosDevices(true, "");
    machine().FailNext("UpdateDriverForPlugAndPlayDevicesA", GetParam().error);

    EXPECT_FALSE(InstallDeviceDriver(kBaseId, kBaseInf.c_str()));

    EXPECT_EQ(Trace(), (Lines{"--> Installing device driver", GetParam().trace}));
}

INSTANTIATE_TEST_SUITE_P(
    Errors, DriverUpdateFailure,
    ::testing::Values(
        UpdateFailure{ERROR_FILE_NOT_FOUND,
                      "----> Device Driver Installation failed : INF File Not Found\n"},
        UpdateFailure{ERROR_INVALID_FLAGS, "----> Device Driver Installation failed : Invalid Flags\n"},
        UpdateFailure{ERROR_NO_SUCH_DEVINST,
                      "----> Device Driver Installation failed : No such device\n"},
        UpdateFailure{ERROR_ACCESS_DENIED,
                      "----> Device Driver Installation failed : GetLastError() = 00000005h\n"},
        UpdateFailure{0xE0000247,
                      "----> Device Driver Installation failed : GetLastError() = e0000247h\n"}));

TEST_F(MachineTest, DriverUpdateReportsAMissingInfAndAMissingDeviceFromThePlatform) {
    PutTableInfs();
    AddPosDevices(true, "");

    EXPECT_FALSE(InstallDeviceDriver(kBaseId, "C:\\WINDOWS\\INF\\absent.inf"));
    EXPECT_TRUE(TraceHas("----> Device Driver Installation failed : INF File Not Found\n"));
    EXPECT_FALSE(InstallDeviceDriver("PCI\\VEN_FFFF&DEV_0000", kBaseInf.c_str()));
    EXPECT_TRUE(TraceHas("----> Device Driver Installation failed : No such device\n"));
    EXPECT_TRUE(InstallDeviceDriver(kBaseId, kBaseInf.c_str()));
}
