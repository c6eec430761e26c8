// Every platform operation the installer calls, failing once and failing for
// good, during an install, during the port mapping at its end, and during an
// uninstall. Each row says how the run must end: its outcome and markers, a
// trace line that shows the failure, the status lines, what is left written
// or deleted, and which handles stay open (only those whose release the fault
// itself refused).
#include "machine_fixture.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <utility>

using namespace pos;
using Lines = std::vector<std::string>;

namespace {

// ERROR_NOT_ENOUGH_MEMORY (8): a code none of the operations gives by itself
// here, so a trace that shows it shows the injected failure.
constexpr DWORD kFault = 8;

enum class Mode { Next, Always };

const Lines kSuccess{"RESULT.SUCCESS"};
const Lines kFail{"RESULT.FAIL"};
const Lines kNoMarker{};
// An old RESULT.FAIL that could not be deleted, beside this run's marker.
const Lines kBothMarkers{"RESULT.FAIL", "RESULT.SUCCESS"};

constexpr sim::HandleCounts kNoneOpen{0, 0, 0, 0};
constexpr sim::HandleCounts Sets(int n) { return {n, 0, 0, 0}; }
constexpr sim::HandleCounts Keys(int n) { return {0, n, 0, 0}; }
constexpr sim::HandleCounts Files(int n) { return {0, 0, n, 0}; }
constexpr sim::HandleCounts Searches(int n) { return {0, 0, 0, n}; }

std::string ModeName(Mode mode) { return mode == Mode::Next ? "Next" : "Always"; }

void Inject(const char* operation, Mode mode) {
    if (mode == Mode::Next) {
        sim::TheMachine().FailNext(operation, kFault);
    } else {
        sim::TheMachine().FailAlways(operation, kFault);
    }
}

void ExpectHandles(const sim::HandleCounts& expected) {
    const sim::HandleCounts open = sim::TheMachine().OpenHandles();
    EXPECT_EQ(open.deviceSets, expected.deviceSets) << "device sets left open";
    EXPECT_EQ(open.keys, expected.keys) << "registry keys left open";
    EXPECT_EQ(open.files, expected.files) << "files left open";
    EXPECT_EQ(open.searches, expected.searches) << "file searches left open";
}

// Common to every run: what a calling script and the person at the machine see.
class FaultTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        // Left by an earlier run that failed.
        machine().PutFile(std::string(kWin) + "\\RESULT.FAIL");
        markersWhileBoxShown_.clear();
        static FaultTest* self = nullptr;
        self = this;
        machine().onMessageBox = [](const sim::MessageBoxCall&) {
            self->markersWhileBoxShown_.push_back(self->Markers());
        };
    }

    void TearDown() override {
        machine().onMessageBox = nullptr;
        MachineTest::TearDown();
    }

    // The error box of a failed run, shown before any marker was written;
    // none after a run that succeeded.
    void ExpectErrorBox(RunOutcome outcome, const char* text) {
        const auto boxes = machine().MessageBoxes();
        if (outcome != RunOutcome::Failed) {
            EXPECT_TRUE(boxes.empty());
            return;
        }
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(boxes[0].caption, kCaption);
        EXPECT_EQ(boxes[0].type, MB_OK);
        ASSERT_EQ(markersWhileBoxShown_.size(), 1u);
        EXPECT_TRUE(markersWhileBoxShown_[0].empty()) << "a marker was written before the box was dismissed";
    }

    // A failed folder lookup leaves junk in its buffer; none of it may reach a trace.
    void ExpectCleanTrace() {
        for (const std::string& line : Trace()) {
            EXPECT_EQ(line.find('\xCC'), std::string::npos) << line;
        }
    }

    std::vector<Lines> markersWhileBoxShown_;
};

// --- Install and port mapping ------------------------------------------------------------

constexpr char kFullInstallCmd[] = "INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL";
constexpr char kInstallError[] = "An error was encountered while installing the drivers.";

enum class From {
    Start,      // the fault holds from the start of the run
    PortD,      // the fault is armed once Serial Port C is mapped
};

struct InstallFault {
    const char* operation;
    Mode mode;
    RunOutcome outcome;
    Lines markers;
    const char* trace;  // a line the run must trace, or nullptr
    // Ports C, D, E, F in turn. mapping: 'O' "[OK]", 'F' "[Failed]" ("" when
    // the install stops before the mapping). written: 'B' port name and
    // friendly name, 'P' port name only, '-' neither.
    const char* mapping;
    const char* written;
    sim::HandleCounts left;
};

void PrintTo(const InstallFault& fault, std::ostream* os) {
    *os << fault.operation << " failing " << ModeName(fault.mode);
}

Lines ExpectedInstallTimeline(const InstallFault& fault) {
    if (fault.outcome == RunOutcome::Failed) {
        // The first row's driver update fails: nothing after it is tried.
        return {"Installing ZAN 7350-21x Base Device...", "Installing ZAN 7350-21x Base Device...[Failed]",
                "sleep 2000"};
    }
    Lines lines;
    for (const char* description : {kBaseDesc, kCardDesc, "Serial Port C", "Serial Port D",
                                    "Serial Port E", "Serial Port F"}) {
        const std::string line = std::string("Installing ") + description + "...";
        lines.insert(lines.end(), {line, line + "[OK]", "sleep 2000"});
    }
    for (int i = 0; i < 4; ++i) {
        const std::string line = std::string("Mapping Serial Port ") + kPorts[i].letter + " to COM" +
                                 std::to_string(3 + i) + "...";
        lines.insert(lines.end(), {line, line + (fault.mapping[i] == 'O' ? "[OK]" : "[Failed]"), "sleep 2000"});
    }
    return lines;
}

void ExpectPortsWritten(const char* written) {
    for (int i = 0; i < 4; ++i) {
        const PortDevice& port = kPorts[i];
        const std::string com = "COM" + std::to_string(3 + i);
        const auto portName = sim::TheMachine().GetValue(
            std::string("SYSTEM\\CurrentControlSet\\Enum\\") + port.instanceId + "\\Device Parameters",
            "PortName");
        const sim::Device* device = sim::TheMachine().FindDevice(port.instanceId);
        ASSERT_NE(device, nullptr) << port.letter;
        const auto friendly = device->properties.find(SPDRP_FRIENDLYNAME);
        const bool hasFriendly = friendly != device->properties.end();

        EXPECT_EQ(portName.has_value(), written[i] != '-') << "port name of " << port.letter;
        if (portName) {
            EXPECT_EQ(sim::SzText(*portName), com) << port.letter;
        }
        EXPECT_EQ(hasFriendly, written[i] == 'B') << "friendly name of " << port.letter;
        if (hasFriendly) {
            EXPECT_EQ(sim::SzText(friendly->second), std::string("Serial Port ") + port.letter + "(" + com + ")");
        }
    }
}

// A full four-port machine with the base device, the driver INFs in place.
class InstallRunTest : public FaultTest {
protected:
    void Check(const InstallFault& fault, From from) {
        PutTableInfs();
        AddPosDevices(true, "CDEF");
        const auto infsBefore = AllInfs();
        if (from == From::Start) {
            Inject(fault.operation, fault.mode);
        } else {
            ArmAfterPortC(fault);
        }

        const RunOutcome outcome = Run(kFullInstallCmd);
        machine().ClearFaults();

        EXPECT_EQ(outcome, fault.outcome);
        EXPECT_EQ(Markers(), fault.markers);
        if (fault.trace != nullptr) {
        EXPECT_TRUE(TraceHas(fault.trace)) << "missing trace: " << fault.trace;
    }
        EXPECT_EQ(Timeline(), ExpectedInstallTimeline(fault));
        ExpectPortsWritten(fault.written);
        ExpectErrorBox(outcome, kInstallError);
        ExpectCleanTrace();
        // An install deletes nothing: no device, no INF (the base device is chosen).
        EXPECT_EQ(machine().Devices().size(), 6u);
        EXPECT_EQ(AllInfs(), infsBefore);
        ExpectHandles(fault.left);
    }

private:
    Lines AllInfs() {
        Lines all;
        for (const char* folder : {"", "1port", "4port"}) {
            for (const std::string& name : machine().ListFolder(std::string(kWin) + "\\INF\\" + folder)) {
                all.push_back(std::string(folder) + "\\" + name);
            }
        }
        return all;
    }

    // Arms the fault at the pause that follows "Mapping Serial Port C to COM3...[OK]".
    void ArmAfterPortC(const InstallFault& fault) {
        static const InstallFault* pending = nullptr;
        static std::function<void(DWORD)> record;
        pending = &fault;
        record = machine().onSleep;
        machine().onSleep = [](DWORD ms) {
            record(ms);
            char line[StatusBoard::kTextSize];
            g_status.CopyText(line);
            if (pending != nullptr && std::strcmp(line, "Mapping Serial Port C to COM3...[OK]") == 0) {
                Inject(pending->operation, pending->mode);
                pending = nullptr;
            }
        };
    }
};

std::string InstallFaultName(const ::testing::TestParamInfo<InstallFault>& info) {
    return std::string(info.param.operation) + "_" + ModeName(info.param.mode);
}

// A row for an operation the run does not reach: it ends as a run without faults.
InstallFault Untouched(const char* operation, Mode mode) {
    return {operation, mode, RunOutcome::Succeeded, kSuccess, nullptr, "OOOO", "BBBB", kNoneOpen};
}

class InstallFaultTest : public InstallRunTest, public ::testing::WithParamInterface<InstallFault> {};

TEST_P(InstallFaultTest, EndsAsTheToolMust) { Check(GetParam(), From::Start); }

constexpr char kAbnormal6[] = "----> Abnormal Exit : GetLastError() = 00000006h\n";
constexpr char kAbnormal8[] = "----> Abnormal Exit : GetLastError() = 00000008h\n";
constexpr char kNoMoreDevices[] = "----> No more devices\n";
constexpr char kNoFriendlyName[] = "----> Error writing updated friendly name\n";
constexpr char kNoInstanceId[] = "----> Error getting instance ID";
constexpr char kNoKey[] = "----> Error opening device parameters key";
constexpr char kNoPortName[] = "----> Error writing to COM port value key\n";
constexpr char kNoMarkerFile[] = "--> Error creating marker file : 00000008h";
constexpr char kUpdateFailed[] = "----> Device Driver Installation failed : GetLastError() = 00000008h\n";

const auto S = RunOutcome::Succeeded;
const auto F = RunOutcome::Failed;
const auto N = Mode::Next;
const auto A = Mode::Always;

// From the start of "INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL". The first
// call of most operations is Serial Port C's; the first file deletion is the
// old RESULT.SUCCESS, which is not there.
const std::vector<InstallFault> kInstallFaults = {
    // An unobtainable set: the search reads an invalid handle and finds nothing; "[OK]".
    InstallFault{"SetupDiGetClassDevsA", N, S, kSuccess, kAbnormal6, "OOOO", "-BBB", kNoneOpen},
    InstallFault{"SetupDiGetClassDevsA", A, S, kSuccess, kAbnormal6, "OOOO", "----", kNoneOpen},
    InstallFault{"SetupDiEnumDeviceInfo", N, S, kSuccess, kAbnormal8, "OOOO", "-BBB", kNoneOpen},
    InstallFault{"SetupDiEnumDeviceInfo", A, S, kSuccess, kAbnormal8, "OOOO", "----", kNoneOpen},
    // An unreadable port is passed over like one that is not there.
    InstallFault{"SetupDiGetDeviceRegistryPropertyA", N, S, kSuccess, kNoMoreDevices, "OOOO", "-BBB", kNoneOpen},
    InstallFault{"SetupDiGetDeviceRegistryPropertyA", A, S, kSuccess, kNoMoreDevices, "OOOO", "----", kNoneOpen},
    // The port name written before the friendly name failed stays.
    InstallFault{"SetupDiSetDeviceRegistryPropertyA", N, S, kSuccess, kNoFriendlyName, "FOOO", "PBBB", kNoneOpen},
    InstallFault{"SetupDiSetDeviceRegistryPropertyA", A, S, kSuccess, kNoFriendlyName, "FFFF", "PPPP", kNoneOpen},
    InstallFault{"SetupDiGetDeviceInstanceIdA", N, S, kSuccess, kNoInstanceId, "FOOO", "-BBB", kNoneOpen},
    InstallFault{"SetupDiGetDeviceInstanceIdA", A, S, kSuccess, kNoInstanceId, "FFFF", "----", kNoneOpen},
    Untouched("SetupDiRemoveDevice", N),
    Untouched("SetupDiRemoveDevice", A),
    InstallFault{"SetupDiDestroyDeviceInfoList", N, S, kSuccess, nullptr, "OOOO", "BBBB", Sets(1)},
    InstallFault{"SetupDiDestroyDeviceInfoList", A, S, kSuccess, nullptr, "OOOO", "BBBB", Sets(4)},
    Untouched("SetupUninstallOEMInfA", N),
    Untouched("SetupUninstallOEMInfA", A),
    // The base device's row fails: the install stops there, box, RESULT.FAIL.
    InstallFault{"UpdateDriverForPlugAndPlayDevicesA", N, F, kFail, kUpdateFailed, "", "----", kNoneOpen},
    InstallFault{"UpdateDriverForPlugAndPlayDevicesA", A, F, kFail, kUpdateFailed, "", "----", kNoneOpen},
    InstallFault{"RegOpenKeyExA", N, S, kSuccess, kNoKey, "FOOO", "-BBB", kNoneOpen},
    InstallFault{"RegOpenKeyExA", A, S, kSuccess, kNoKey, "FFFF", "----", kNoneOpen},
    InstallFault{"RegSetValueExA", N, S, kSuccess, kNoPortName, "FOOO", "-BBB", kNoneOpen},
    InstallFault{"RegSetValueExA", A, S, kSuccess, kNoPortName, "FFFF", "----", kNoneOpen},
    InstallFault{"RegCloseKey", N, S, kSuccess, nullptr, "OOOO", "BBBB", Keys(1)},
    InstallFault{"RegCloseKey", A, S, kSuccess, nullptr, "OOOO", "BBBB", Keys(4)},
    // Old markers that cannot be deleted are passed over; one may stay beside the new.
    InstallFault{"DeleteFileA", N, S, kSuccess, nullptr, "OOOO", "BBBB", kNoneOpen},
    InstallFault{"DeleteFileA", A, S, kBothMarkers, nullptr, "OOOO", "BBBB", kNoneOpen},
    Untouched("GetFileAttributesA", N),
    Untouched("GetFileAttributesA", A),
    // The marker cannot be created: traced, and the run still counts as a success.
    InstallFault{"CreateFileA", N, S, kNoMarker, kNoMarkerFile, "OOOO", "BBBB", kNoneOpen},
    InstallFault{"CreateFileA", A, S, kNoMarker, kNoMarkerFile, "OOOO", "BBBB", kNoneOpen},
    Untouched("ReadFile", N),
    Untouched("ReadFile", A),
    InstallFault{"CloseHandle", N, S, kSuccess, nullptr, "OOOO", "BBBB", Files(1)},
    InstallFault{"CloseHandle", A, S, kSuccess, nullptr, "OOOO", "BBBB", Files(1)},
    Untouched("FindFirstFileA", N),
    Untouched("FindFirstFileA", A),
    Untouched("FindNextFileA", N),
    Untouched("FindNextFileA", A),
    Untouched("FindClose", N),
    Untouched("FindClose", A),
    Untouched("SHGetFolderPathA", N),
    Untouched("SHGetFolderPathA", A),
    Untouched("MessageBoxA", N),
    Untouched("MessageBoxA", A)};

INSTANTIATE_TEST_SUITE_P(EveryOperation, InstallFaultTest, ::testing::ValuesIn(kInstallFaults),
                         InstallFaultName);

class PortMappingFaultTest : public InstallRunTest, public ::testing::WithParamInterface<InstallFault> {};

TEST_P(PortMappingFaultTest, EndsAsTheToolMust) { Check(GetParam(), From::PortD); }

// Armed once Serial Port C is mapped: C keeps its names, the fault meets D
// (and, failing for good, E and F too); all drivers are installed by then.
const std::vector<InstallFault> kPortMappingFaults = {
    InstallFault{"SetupDiGetClassDevsA", N, S, kSuccess, kAbnormal6, "OOOO", "B-BB", kNoneOpen},
    InstallFault{"SetupDiGetClassDevsA", A, S, kSuccess, kAbnormal6, "OOOO", "B---", kNoneOpen},
    InstallFault{"SetupDiEnumDeviceInfo", N, S, kSuccess, kAbnormal8, "OOOO", "B-BB", kNoneOpen},
    InstallFault{"SetupDiEnumDeviceInfo", A, S, kSuccess, kAbnormal8, "OOOO", "B---", kNoneOpen},
    // Port D's search reads Serial Port C first: that read fails, D's succeeds.
    InstallFault{"SetupDiGetDeviceRegistryPropertyA", N, S, kSuccess, nullptr, "OOOO", "BBBB", kNoneOpen},
    InstallFault{"SetupDiGetDeviceRegistryPropertyA", A, S, kSuccess, kNoMoreDevices, "OOOO", "B---", kNoneOpen},
    InstallFault{"SetupDiSetDeviceRegistryPropertyA", N, S, kSuccess, kNoFriendlyName, "OFOO", "BPBB", kNoneOpen},
    InstallFault{"SetupDiSetDeviceRegistryPropertyA", A, S, kSuccess, kNoFriendlyName, "OFFF", "BPPP", kNoneOpen},
    InstallFault{"SetupDiGetDeviceInstanceIdA", N, S, kSuccess, kNoInstanceId, "OFOO", "B-BB", kNoneOpen},
    InstallFault{"SetupDiGetDeviceInstanceIdA", A, S, kSuccess, kNoInstanceId, "OFFF", "B---", kNoneOpen},
    Untouched("SetupDiRemoveDevice", N),
    Untouched("SetupDiRemoveDevice", A),
    InstallFault{"SetupDiDestroyDeviceInfoList", N, S, kSuccess, nullptr, "OOOO", "BBBB", Sets(1)},
    InstallFault{"SetupDiDestroyDeviceInfoList", A, S, kSuccess, nullptr, "OOOO", "BBBB", Sets(3)},
    Untouched("SetupUninstallOEMInfA", N),
    Untouched("SetupUninstallOEMInfA", A),
    Untouched("UpdateDriverForPlugAndPlayDevicesA", N),
    Untouched("UpdateDriverForPlugAndPlayDevicesA", A),
    InstallFault{"RegOpenKeyExA", N, S, kSuccess, kNoKey, "OFOO", "B-BB", kNoneOpen},
    InstallFault{"RegOpenKeyExA", A, S, kSuccess, kNoKey, "OFFF", "B---", kNoneOpen},
    InstallFault{"RegSetValueExA", N, S, kSuccess, kNoPortName, "OFOO", "B-BB", kNoneOpen},
    InstallFault{"RegSetValueExA", A, S, kSuccess, kNoPortName, "OFFF", "B---", kNoneOpen},
    InstallFault{"RegCloseKey", N, S, kSuccess, nullptr, "OOOO", "BBBB", Keys(1)},
    InstallFault{"RegCloseKey", A, S, kSuccess, nullptr, "OOOO", "BBBB", Keys(3)},
    // The old markers were deleted before the fault came.
    Untouched("DeleteFileA", N),
    Untouched("DeleteFileA", A),
    Untouched("GetFileAttributesA", N),
    Untouched("GetFileAttributesA", A),
    InstallFault{"CreateFileA", N, S, kNoMarker, kNoMarkerFile, "OOOO", "BBBB", kNoneOpen},
    InstallFault{"CreateFileA", A, S, kNoMarker, kNoMarkerFile, "OOOO", "BBBB", kNoneOpen},
    Untouched("ReadFile", N),
    Untouched("ReadFile", A),
    InstallFault{"CloseHandle", N, S, kSuccess, nullptr, "OOOO", "BBBB", Files(1)},
    InstallFault{"CloseHandle", A, S, kSuccess, nullptr, "OOOO", "BBBB", Files(1)},
    Untouched("FindFirstFileA", N),
    Untouched("FindFirstFileA", A),
    Untouched("FindNextFileA", N),
    Untouched("FindNextFileA", A),
    Untouched("FindClose", N),
    Untouched("FindClose", A),
    Untouched("SHGetFolderPathA", N),
    Untouched("SHGetFolderPathA", A),
    Untouched("MessageBoxA", N),
    Untouched("MessageBoxA", A)};

INSTANTIATE_TEST_SUITE_P(EveryOperation, PortMappingFaultTest, ::testing::ValuesIn(kPortMappingFaults),
                         InstallFaultName);

// --- Uninstall ----------------------------------------------------------------------------

constexpr char kUninstallError[] = "An error was encountered while uninstalling the drivers.";

Lines Oem(int n) {
    const std::string name = "oem" + std::to_string(n);
    return {name + ".inf", name + ".PNF"};
}
const Lines kTableBase{"ZANBaseD.inf", "ZANBaseD.pnf"};
const Lines kTableCard{"1port\\ZAN2kmf.inf", "1port\\ZAN2kmf.pnf"};
const Lines kEveryInf = [] {
    Lines all{"ZANBaseD.inf", "ZANBaseD.pnf", "1port\\ZAN2kmf.inf", "1port\\ZAN2kmf.pnf",
              "4port\\ZAN2kmf.inf", "4port\\ZAN2kmf.pnf", "ZANPorts.inf"};
    for (int n = 1; n <= 4; ++n) {
        for (const std::string& name : Oem(n)) all.push_back(name);
    }
    return all;
}();

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct UninstallFault {
    const char* operation;
    Mode mode;
    RunOutcome outcome;
    Lines markers;
    const char* trace;  // a line the run must trace, or nullptr
    // 'B' the base device removed, 'C' the card removed, 'X' the base device
    // found but its removal failed.
    const char* removed;
    Lines gone;  // files of the INF folder deleted; every other one stays
    sim::HandleCounts left;
};

void PrintTo(const UninstallFault& fault, std::ostream* os) {
    *os << fault.operation << " failing " << ModeName(fault.mode);
}

Lines ExpectedUninstallTimeline(const UninstallFault& fault) {
    const std::string removed = fault.removed;
    const auto found = [](const std::string& d, const char* result) {
        return Lines{d + " found, removing...", "sleep 1000", d + " found, removing..." + result, "sleep 1000"};
    };
    Lines lines{"Removing previously installed drivers and devices...", "sleep 1000",
                std::string("Removing ") + kBaseDesc + "..."};
    if (removed.find('X') != std::string::npos) return Join({lines, found(kBaseDesc, "[Failed]")});
    if (removed.find('B') != std::string::npos) lines = Join({lines, found(kBaseDesc, "[OK]")});
    lines.push_back(std::string("Removing ") + kCardDesc + "...");
    if (removed.find('C') != std::string::npos) lines = Join({lines, found(kCardDesc, "[OK]")});
    lines.push_back(std::string("Removing ") + kCardDesc + "...");
    lines.push_back("Uninstall Complete!");
    return lines;
}

// The base device, the card and its four ports; the driver INFs; OEM copies:
// two of the base device's (an older and a newer driver), one of the card's
// and one of some other device's, each with its PNF.
class UninstallRunTest : public FaultTest {
protected:
    const std::string inf = std::string(kWin) + "\\INF\\";

    void PutUninstallMachine() {
        PutTableInfs();
        AddPosDevices(true, "CDEF");
        machine().PutFile(inf + "oem1.inf", std::string("[Models]\r\n%Base%=Inst, ") + kBaseId + "\r\n");
        machine().PutFile(inf + "oem2.inf", "[Models]\r\n%Other%=Inst, PCI\\VEN_8086&DEV_1234\r\n");
        machine().PutFile(inf + "oem3.inf", std::string("[Models]\n%Card%=Inst, ") + kCardId + "\n");
        machine().PutFile(inf + "oem4.inf", std::string("; older driver\n%Base%=Inst,") + kBaseId);
        for (int n = 1; n <= 4; ++n) machine().PutFile(inf + Oem(n)[1], "pnf");
    }

    void ExpectGone(const Lines& gone) {
        for (const std::string& name : kEveryInf) {
            const bool isGone = std::find(gone.begin(), gone.end(), name) != gone.end();
            EXPECT_EQ(machine().FileExists(inf + name), !isGone) << name;
        }
    }
};

class UninstallFaultTest : public UninstallRunTest, public ::testing::WithParamInterface<UninstallFault> {};

TEST_P(UninstallFaultTest, EndsAsTheToolMust) {
    const UninstallFault& fault = GetParam();
    PutUninstallMachine();
    Inject(fault.operation, fault.mode);

    const RunOutcome outcome = Run("UNINSTALL");
    machine().ClearFaults();

    EXPECT_EQ(outcome, fault.outcome);
    EXPECT_EQ(Markers(), fault.markers);
    if (fault.trace != nullptr) {
        EXPECT_TRUE(TraceHas(fault.trace)) << "missing trace: " << fault.trace;
    }
    EXPECT_EQ(Timeline(), ExpectedUninstallTimeline(fault));
    ExpectErrorBox(outcome, kUninstallError);
    ExpectCleanTrace();

    const std::string removed = fault.removed;
    EXPECT_EQ(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B52\\BASE0") == nullptr,
              removed.find('B') != std::string::npos);
    EXPECT_EQ(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B54\\CARD0") == nullptr,
              removed.find('C') != std::string::npos);
    for (const PortDevice& port : kPorts) EXPECT_TRUE(machine().FindDevice(port.instanceId)) << port.letter;
    ExpectGone(fault.gone);
    ExpectHandles(fault.left);
}

// The card's removal fails after the base device's succeeded: what the base
// device's removal did stays done, the card keeps its device and its files.
TEST_F(UninstallRunTest, ARemovalThatFailsAfterAnotherLeavesTheFirstDone) {
    PutUninstallMachine();
    static std::function<void(DWORD)> record;
    record = machine().onSleep;
    machine().onSleep = [](DWORD ms) {
        record(ms);
        char line[StatusBoard::kTextSize];
        g_status.CopyText(line);
        if (std::strcmp(line, "ZAN 7350-21x Base Device found, removing...[OK]") == 0) {
            sim::TheMachine().FailNext("SetupDiRemoveDevice", kFault);
        }
    };

    EXPECT_EQ(Run("UNINSTALL"), RunOutcome::Failed);

    const Lines timeline = Timeline();
    ASSERT_GE(timeline.size(), 2u);
    EXPECT_EQ(timeline[timeline.size() - 2], std::string(kCardDesc) + " found, removing...[Failed]");
    EXPECT_EQ(timeline.back(), "sleep 1000");
    EXPECT_FALSE(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B52\\BASE0"));
    EXPECT_TRUE(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B54\\CARD0"));
    ExpectGone(Join({kTableBase, Oem(1), Oem(4)}));
    ExpectErrorBox(RunOutcome::Failed, kUninstallError);
    EXPECT_EQ(Markers(), kFail);
    ExpectHandles(kNoneOpen);
}

std::string UninstallFaultName(const ::testing::TestParamInfo<UninstallFault>& info) {
    return std::string(info.param.operation) + "_" + ModeName(info.param.mode);
}

// The table's own INF and PNF files of the base device and the one-port card.
const Lines kBothTables = Join({kTableBase, kTableCard});
const Lines kAllGone = Join({kBothTables, Oem(1), Oem(3), Oem(4)});

UninstallFault Unreached(const char* operation, Mode mode) {
    return {operation, mode, RunOutcome::Succeeded, kSuccess, nullptr, "BC", kAllGone, kNoneOpen};
}

constexpr char kNoneFound[] = "----> No driver installation found";
constexpr char kNoFiles[] = "----> No files found";
constexpr char kNoWindowsPath[] = "----> Windows path not available : 80004005h";
constexpr char kOpenFailed[] = "--> Error opening file";
constexpr char kDeleteFailed[] = "----> Failed";
constexpr char kPackageFault[] = "----> Driver Package Uninstall failed : GetLastError() = 00000008h";

// The base device's OEM scan visits oem1 to oem4 in turn; the card's scan
// what is left of them. The first file deletion is the old RESULT.SUCCESS,
// which is not there.
const std::vector<UninstallFault> kUninstallFaults = {
    // No set: every search ends at once, nothing is removed, the run completes.
    UninstallFault{"SetupDiGetClassDevsA", N, S, kSuccess, kAbnormal6, "", {}, kNoneOpen},
    UninstallFault{"SetupDiGetClassDevsA", A, S, kSuccess, kAbnormal6, "", {}, kNoneOpen},
    // The base device's search breaks off; it stays installed with its files.
    UninstallFault{"SetupDiEnumDeviceInfo", N, S, kSuccess, kAbnormal8, "C", Join({kTableCard, Oem(3)}),
                   kNoneOpen},
    UninstallFault{"SetupDiEnumDeviceInfo", A, S, kSuccess, kAbnormal8, "", {}, kNoneOpen},
    UninstallFault{"SetupDiGetDeviceRegistryPropertyA", N, S, kSuccess, nullptr, "C",
                   Join({kTableCard, Oem(3)}), kNoneOpen},
    UninstallFault{"SetupDiGetDeviceRegistryPropertyA", A, S, kSuccess, kNoneFound, "", {}, kNoneOpen},
    Unreached("SetupDiSetDeviceRegistryPropertyA", N),
    Unreached("SetupDiSetDeviceRegistryPropertyA", A),
    Unreached("SetupDiGetDeviceInstanceIdA", N),
    Unreached("SetupDiGetDeviceInstanceIdA", A),
    // The first removal fails: the pass stops, nothing of the card is touched.
    UninstallFault{"SetupDiRemoveDevice", N, F, kFail, nullptr, "X", {}, kNoneOpen},
    UninstallFault{"SetupDiRemoveDevice", A, F, kFail, nullptr, "X", {}, kNoneOpen},
    UninstallFault{"SetupDiDestroyDeviceInfoList", N, S, kSuccess, nullptr, "BC", kAllGone, Sets(1)},
    UninstallFault{"SetupDiDestroyDeviceInfoList", A, S, kSuccess, nullptr, "BC", kAllGone, Sets(1)},
    // The copies are no packages of the store; the refusal shows the fault
    // instead, and the deletions go on as before.
    UninstallFault{"SetupUninstallOEMInfA", N, S, kSuccess, kPackageFault, "BC", kAllGone, kNoneOpen},
    UninstallFault{"SetupUninstallOEMInfA", A, S, kSuccess, kPackageFault, "BC", kAllGone, kNoneOpen},
    Unreached("UpdateDriverForPlugAndPlayDevicesA", N),
    Unreached("UpdateDriverForPlugAndPlayDevicesA", A),
    Unreached("RegOpenKeyExA", N),
    Unreached("RegOpenKeyExA", A),
    Unreached("RegSetValueExA", N),
    Unreached("RegSetValueExA", A),
    Unreached("RegCloseKey", N),
    Unreached("RegCloseKey", A),
    Unreached("DeleteFileA", N),
    // Nothing can be deleted: devices go, every file stays, both markers are there.
    UninstallFault{"DeleteFileA", A, S, kBothMarkers, kDeleteFailed, "BC", {}, kNoneOpen},
    // Only a file the package removal took needs the look before it.
    UninstallFault{"GetFileAttributesA", N, S, kSuccess, nullptr, "BC", kAllGone, kNoneOpen},
    UninstallFault{"GetFileAttributesA", A, S, kSuccess, nullptr, "BC", kAllGone, kNoneOpen},
    // A copy that cannot be opened is never deleted; the next one is.
    UninstallFault{"CreateFileA", N, S, kSuccess, kOpenFailed, "BC",
                   Join({kBothTables, Oem(3), Oem(4)}), kNoneOpen},
    UninstallFault{"CreateFileA", A, S, kNoMarker, kNoMarkerFile, "BC", kBothTables, kNoneOpen},
    // A copy that cannot be read is never deleted either.
    UninstallFault{"ReadFile", N, S, kSuccess, nullptr, "BC", Join({kBothTables, Oem(3), Oem(4)}), kNoneOpen},
    UninstallFault{"ReadFile", A, S, kSuccess, nullptr, "BC", kBothTables, kNoneOpen},
    // A handle left open keeps its file from being deleted; its PNF goes.
    UninstallFault{"CloseHandle", N, S, kSuccess, kDeleteFailed, "BC",
                   Join({kBothTables, {"oem1.PNF"}, Oem(3), Oem(4)}), Files(1)},
    // Four copies opened by each of two scans, and the marker.
    UninstallFault{"CloseHandle", A, S, kSuccess, kDeleteFailed, "BC",
                   Join({kBothTables, {"oem1.PNF", "oem3.PNF", "oem4.PNF"}}), Files(9)},
    UninstallFault{"FindFirstFileA", N, S, kSuccess, kNoFiles, "BC", Join({kBothTables, Oem(3)}), kNoneOpen},
    UninstallFault{"FindFirstFileA", A, S, kSuccess, kNoFiles, "BC", kBothTables, kNoneOpen},
    // Each scan stops after its first file.
    UninstallFault{"FindNextFileA", N, S, kSuccess, nullptr, "BC", Join({kBothTables, Oem(1), Oem(3)}),
                   kNoneOpen},
    UninstallFault{"FindNextFileA", A, S, kSuccess, nullptr, "BC", Join({kBothTables, Oem(1)}), kNoneOpen},
    UninstallFault{"FindClose", N, S, kSuccess, nullptr, "BC", kAllGone, Searches(1)},
    UninstallFault{"FindClose", A, S, kSuccess, nullptr, "BC", kAllGone, Searches(2)},
    // Without the Windows folder a scan deletes nothing.
    UninstallFault{"SHGetFolderPathA", N, S, kSuccess, kNoWindowsPath, "BC", Join({kBothTables, Oem(3)}), kNoneOpen},
    UninstallFault{"SHGetFolderPathA", A, S, kSuccess, kNoWindowsPath, "BC", kBothTables, kNoneOpen},
    Unreached("MessageBoxA", N),
    Unreached("MessageBoxA", A)};

INSTANTIATE_TEST_SUITE_P(EveryOperation, UninstallFaultTest, ::testing::ValuesIn(kUninstallFaults),
                         UninstallFaultName);

// --- The sweep itself ------------------------------------------------------------------------

// Every platform operation the installer calls.
const char* const kOperations[] = {
    "SetupDiGetClassDevsA", "SetupDiEnumDeviceInfo", "SetupDiGetDeviceRegistryPropertyA",
    "SetupDiSetDeviceRegistryPropertyA", "SetupDiGetDeviceInstanceIdA", "SetupDiRemoveDevice",
    "SetupDiDestroyDeviceInfoList", "SetupUninstallOEMInfA", "UpdateDriverForPlugAndPlayDevicesA",
    "RegOpenKeyExA", "RegSetValueExA", "RegCloseKey", "DeleteFileA", "GetFileAttributesA", "CreateFileA",
    "ReadFile", "CloseHandle", "FindFirstFileA", "FindNextFileA", "FindClose", "SHGetFolderPathA",
    "MessageBoxA"};

// Each table holds every operation once failing once and once failing for good.
template <typename Row>
void ExpectEveryOperationBothWays(const std::vector<Row>& table) {
    std::multiset<std::pair<std::string, Mode>> rows;
    for (const Row& row : table) rows.emplace(row.operation, row.mode);
    std::multiset<std::pair<std::string, Mode>> wanted;
    for (const char* operation : kOperations) {
        wanted.emplace(operation, Mode::Next);
        wanted.emplace(operation, Mode::Always);
    }
    EXPECT_EQ(rows, wanted);
}

TEST(FaultSweep, EachTableCoversEveryOperationBothWays) {
    ExpectEveryOperationBothWays(kInstallFaults);
    ExpectEveryOperationBothWays(kPortMappingFaults);
    ExpectEveryOperationBothWays(kUninstallFaults);
}

// --- An error box that cannot be shown ---------------------------------------------------------

struct BoxFault {
    const char* name;
    const char* cmdLine;
    const char* failing;  // the operation that fails the run
    Mode mode;
};

void PrintTo(const BoxFault& fault, std::ostream* os) { *os << fault.name; }

class ErrorBoxFaultTest : public FaultTest, public ::testing::WithParamInterface<BoxFault> {};

// MessageBoxA returns 0 at once: nobody can dismiss anything, and the run
// still ends failed, with RESULT.FAIL.
TEST_P(ErrorBoxFaultTest, TheRunStillEndsFailed) {
    PutTableInfs();
    AddPosDevices(true, "CDEF");
    Inject(GetParam().failing, GetParam().mode);
    machine().FailAlways("MessageBoxA", kFault);

    EXPECT_EQ(Run(GetParam().cmdLine), RunOutcome::Failed);

    EXPECT_EQ(machine().Calls("MessageBoxA"), 1);
    EXPECT_EQ(Markers(), kFail);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ErrorBoxFaultTest,
    ::testing::Values(BoxFault{"Install", kFullInstallCmd, "UpdateDriverForPlugAndPlayDevicesA", Mode::Always},
                      BoxFault{"Uninstall", "UNINSTALL", "SetupDiRemoveDevice", Mode::Next}),
    [](const ::testing::TestParamInfo<BoxFault>& info) { return std::string(info.param.name); });

// The two questions of an attended install cannot be shown either: neither
// is answered Yes, so the one-port card is installed and the base device's
// INF deleted, as after two No answers.
TEST_F(FaultTest, QuestionsThatCannotBeShownCountAsNo) {
    PutTableInfs();
    AddPosDevices(true, "CDEF");
    machine().FailAlways("MessageBoxA", kFault);

    EXPECT_EQ(Run("INSTALL BASE_DEVICE MAROVEL_SERIAL"), RunOutcome::Succeeded);

    EXPECT_EQ(machine().Calls("MessageBoxA"), 2);
    Lines updated;
    for (const auto& call : machine().DriverUpdates()) updated.push_back(call.hardwareId);
    EXPECT_EQ(updated, (Lines{kCardId, kPorts[0].hardwareId}));
    EXPECT_FALSE(machine().FileExists(std::string(kWin) + "\\INF\\ZANBaseD.inf"));
    EXPECT_TRUE(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B52\\BASE0"));
    EXPECT_EQ(Markers(), kSuccess);
}

}  // namespace
