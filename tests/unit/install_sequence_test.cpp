// The install operation on a simulated point-of-sale machine, end to end
// through the worker thread's entry.
#include "machine_fixture.h"

using namespace pos;

namespace {

const std::string kOnePortInf = std::string(kWin) + "\\INF\\.\\1port\\ZAN2kmf.inf";
const std::string kFourPortInf = std::string(kWin) + "\\INF\\.\\4port\\ZAN2kmf.inf";
const std::string kBaseInf = std::string(kWin) + "\\INF\\ZANBaseD.inf";
const std::string kPortsInf = std::string(kWin) + "\\INF\\ZANPorts.inf";

struct Selection {
    const char* cmdLine;
    std::vector<int> answers;  // to the two questions a run without SILENT asks
    std::vector<std::pair<std::string, std::string>> updates;  // hardware ID, INF path
    Lines installed;                                           // status descriptions
    std::string ports;                                         // ports mapped, in order
    bool baseInfKept;
};

class InstallSelection : public MachineTest, public ::testing::WithParamInterface<Selection> {};

const char kBanner[] = "**** InstallTiDevice(), Installing Root Port USB Driver ****";

}  // namespace

// Each row's driver update is given the row's INF below the Windows INF
// folder, joined as the table names it (".\1port\ZAN2kmf.inf" too).
TEST_P(InstallSelection, InstallsTheSelectedRowsInOrderFromTheirFullInfPathsThenMapsTheirPorts) {
    const Selection& selection = GetParam();
    PutTableInfs();
    AddPosDevices(true, "CDEF");
    machine().QueueAnswers(selection.answers);

    EXPECT_EQ(Run(selection.cmdLine), RunOutcome::Succeeded);

    std::vector<std::pair<std::string, std::string>> updates;
    for (const auto& call : machine().DriverUpdates()) {
        EXPECT_EQ(call.flags, INSTALLFLAG_FORCE);
        updates.emplace_back(call.hardwareId, call.infPath);
    }
    EXPECT_EQ(updates, selection.updates);
    // Each install opens with the same banner.
    const auto trace = Trace();
    ASSERT_GE(trace.size(), 2u);
    EXPECT_EQ(trace[0], kBanner);
    EXPECT_EQ(trace[1], "--> Installing device driver");
    EXPECT_EQ(std::count(trace.begin(), trace.end(), kBanner), static_cast<long>(updates.size()));

    Lines expected;
    for (const std::string& description : selection.installed) {
        expected = Join({expected, InstallLines(description)});
    }
    for (char letter : selection.ports) expected = Join({expected, MappingLines(letter)});
    EXPECT_EQ(Timeline(), expected);

    for (const PortDevice& port : kPorts) {
        const bool mapped = selection.ports.find(port.letter) != std::string::npos;
        EXPECT_EQ(machine().GetValue(ParamsKey(port.instanceId), "PortName").has_value(), mapped) << port.letter;
    }
    EXPECT_EQ(machine().FileExists(kBaseInf), selection.baseInfKept);
    // The precompiled companion of a declined base INF is left alone.
    EXPECT_TRUE(machine().FileExists(std::string(kWin) + "\\INF\\ZANBaseD.pnf"));
    // Without SILENT both questions are asked, in order; only Yes counts.
    const std::vector<Box> questions{
        {MB_YESNO, "Install the Base Device Driver?",
         "Do you want to install the base device driver?\n\nNote: Not recommended if installing the ZAN Point of Sale "
         "drivers.\n"},
        {MB_YESNO, "Install the Marovel RS-232 Driver?", "Is an RS-232 Marovel card present?\n\n"}};
    EXPECT_EQ(Boxes(), selection.answers.empty() ? std::vector<Box>{} : questions);
    EXPECT_EQ(Markers(), Lines{"RESULT.SUCCESS"});
}

using Updates = std::vector<std::pair<std::string, std::string>>;
const Updates kOnePort{{kCardId, kOnePortInf}, {"MF\\PCI1D9E_COMF", kPortsInf}};
const Updates kFourPort{{kCardId, kFourPortInf},
                        {"MF\\PCI1D9E_COMF", kPortsInf},
                        {"MF\\PCI1D9E_COMC", kPortsInf},
                        {"MF\\PCI1D9E_COME", kPortsInf},
                        {"MF\\PCI1D9E_COMD", kPortsInf}};
Updates WithBase(Updates updates) {
    updates.insert(updates.begin(), {kBaseId, kBaseInf});
    return updates;
}
const Lines kFourPortLines{kCardDesc, "Serial Port C", "Serial Port D", "Serial Port E", "Serial Port F"};

INSTANTIATE_TEST_SUITE_P(Choices, InstallSelection, ::testing::Values(
    Selection{"INSTALL SILENT", {}, kOnePort, {kCardDesc, "Serial Port C"}, "C", false},
    Selection{"INSTALL SILENT BASE_DEVICE", {}, WithBase(kOnePort), {kBaseDesc, kCardDesc, "Serial Port C"}, "C",
              true},
    Selection{"INSTALL SILENT MAROVEL_SERIAL", {}, kFourPort, kFourPortLines, "CDEF", false},
    Selection{"/q INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL", {}, WithBase(kFourPort),
              Join({{kBaseDesc}, kFourPortLines}), "CDEF", true},
    // Choice keywords mean nothing without SILENT; Cancel is not Yes.
    Selection{"INSTALL BASE_DEVICE", {IDCANCEL, IDYES}, kFourPort, kFourPortLines, "CDEF", false},
    Selection{"INSTALL MAROVEL_SERIAL", {IDYES, IDNO}, WithBase(kOnePort), {kBaseDesc, kCardDesc, "Serial Port C"},
              "C", true}));

TEST_F(MachineTest, AMissingCardFailsTheInstallAtItsRowAndLeavesOnlyTheFailMarker) {
    PutTableInfs();
    machine().AddDevice(BaseDevice());
    machine().AddDevice(Port('C'));
    machine().PutFile(std::string(kWin) + "\\RESULT.SUCCESS");

    EXPECT_EQ(Run("INSTALL SILENT BASE_DEVICE"), RunOutcome::Failed);

    EXPECT_EQ(Timeline(), Join({InstallLines(kBaseDesc), InstallLines(kCardDesc, "[Failed]")}));
    const auto updates = machine().DriverUpdates();
    ASSERT_EQ(updates.size(), 2u);  // Serial Port C is not attempted
    EXPECT_EQ(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B52\\BASE0")->driverInf, kBaseInf);
    EXPECT_TRUE(machine().FindDevice(kPorts[0].instanceId)->driverInf.empty());
    EXPECT_TRUE(TraceHas("----> Device Driver Installation failed : No such device\n"));
    EXPECT_TRUE(TraceHas("--> Failure installing Driver"));

    EXPECT_EQ(Boxes(), std::vector<Box>{ErrorBox("An error was encountered while installing the drivers.")});
    EXPECT_EQ(Markers(), Lines{"RESULT.FAIL"});
    EXPECT_FALSE(machine().GetValue(ParamsKey(kPorts[0].instanceId), "PortName"));
}

TEST_F(MachineTest, ADeclinedBaseDeviceLosesItsInfEvenWhenTheInstallFails) {
    PutTableInfs();  // no devices at all

    EXPECT_EQ(Run("INSTALL SILENT"), RunOutcome::Failed);

    EXPECT_FALSE(machine().FileExists(kBaseInf));
    EXPECT_TRUE(machine().FileExists(kOnePortInf));
    EXPECT_EQ(Markers(), Lines{"RESULT.FAIL"});
}

// The ways a driver update fails, each traced with its cause: errors of the
// call, and a missing INF or device as the platform reports them.
struct UpdateFailure {
    DWORD error;        // the call fails with it; 0: it runs
    const char* hardwareId;
    const char* inf;
    const char* cause;  // as the failure's trace line names it; nullptr: it succeeds
    const char* words = nullptr;  // the line after it that names a cause the code alone does not
};

constexpr char kUntrusted[] =
    "----> The driver package's publisher is not trusted on this machine: add its certificate to the Trusted "
    "Publishers store before the install";

class DriverUpdateFailure : public MachineTest,
                            public ::testing::WithParamInterface<UpdateFailure> {};

TEST_P(DriverUpdateFailure, IsTracedWithItsCause) {
    PutTableInfs();
    AddPosDevices(true, "");
    if (GetParam().error != 0) machine().FailNext("UpdateDriverForPlugAndPlayDevicesA", GetParam().error);

    EXPECT_EQ(InstallDeviceDriver(GetParam().hardwareId, GetParam().inf), GetParam().cause == nullptr);

    Lines trace{"--> Installing device driver"};
    if (GetParam().cause != nullptr) {
        trace.push_back(std::string("----> Device Driver Installation failed : ") + GetParam().cause + "\n");
    }
    if (GetParam().words != nullptr) trace.push_back(GetParam().words);
    EXPECT_EQ(Trace(), trace);
}

INSTANTIATE_TEST_SUITE_P(Errors, DriverUpdateFailure, ::testing::Values(
    UpdateFailure{ERROR_FILE_NOT_FOUND, kBaseId, kBaseInf.c_str(), "INF File Not Found"},
    UpdateFailure{ERROR_INVALID_FLAGS, kBaseId, kBaseInf.c_str(), "Invalid Flags"},
    UpdateFailure{ERROR_NO_SUCH_DEVINST, kBaseId, kBaseInf.c_str(), "No such device"},
    UpdateFailure{ERROR_ACCESS_DENIED, kBaseId, kBaseInf.c_str(), "GetLastError() = 00000005h"},
    UpdateFailure{0xE0000247, kBaseId, kBaseInf.c_str(), "GetLastError() = e0000247h"},
    // A publisher the machine does not trust yet: the code, then the cause in words.
    UpdateFailure{ERROR_AUTHENTICODE_TRUST_NOT_ESTABLISHED, kBaseId, kBaseInf.c_str(), "GetLastError() = e0000242h",
                  kUntrusted},
    UpdateFailure{ERROR_AUTHENTICODE_PUBLISHER_NOT_TRUSTED, kBaseId, kBaseInf.c_str(), "GetLastError() = e0000243h",
                  kUntrusted},
    UpdateFailure{0, kBaseId, "C:\\WINDOWS\\INF\\absent.inf", "INF File Not Found"},
    UpdateFailure{0, "PCI\\VEN_FFFF&DEV_0000", kBaseInf.c_str(), "No such device"},
    UpdateFailure{0, kBaseId, kBaseInf.c_str(), nullptr}));
