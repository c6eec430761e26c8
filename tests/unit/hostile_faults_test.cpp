// Every operation of the seam (platform/operations.h), failing once and for
// good where the program reaches it: install, port mapping, the questions,
// unattended uninstall, the run around the window (lock, log, hand-over) and
// the wizard dismisser. Each row says how the run must end: outcome, markers,
// a trace line that shows the failure, what is left written or deleted, and
// which handles stay open (only those whose release the fault refused). A
// sequence's list of operations it does not reach ends as without faults.
#include "machine_fixture.h"

using namespace pos;

namespace {

// ERROR_NOT_ENOUGH_MEMORY (8): a code none of the operations gives by itself
// here, so a trace that shows it shows the injected failure.
constexpr DWORD kFault = 8;

// How the operation fails: its next call only, or every call from then on;
// a row spelled BothWays stands for two rows that end alike.
enum class Fails { Once, Always, BothWays };
// The tables spell them bare.
constexpr Fails Once = Fails::Once, Always = Fails::Always, BothWays = Fails::BothWays;
// The last member of a row: its operations are not reached.
constexpr bool kUnreached = true;

// The markers a run leaves beside the old RESULT.FAIL of an earlier run; a
// run failed when it leaves RESULT.FAIL alone.
const Lines kSuccess{"RESULT.SUCCESS"};
const Lines kFail{"RESULT.FAIL"};
const Lines kNoMarker{};  // the old one deleted, the new one not made
// An old RESULT.FAIL that could not be deleted, beside this run's marker.
const Lines kBothMarkers{"RESULT.FAIL", "RESULT.SUCCESS"};
RunOutcome OutcomeOf(const Lines& markers) { return markers == kFail ? RunOutcome::Failed : RunOutcome::Succeeded; }

constexpr sim::HandleCounts kNoneOpen{};
constexpr sim::HandleCounts Sets(int n) { return {n, 0, 0, 0}; }
constexpr sim::HandleCounts Keys(int n) { return {0, n, 0, 0}; }
constexpr sim::HandleCounts Files(int n) { return {0, 0, n, 0}; }
constexpr sim::HandleCounts Searches(int n) { return {0, 0, 0, n}; }

std::string FailsName(Fails fails) { return fails == Fails::Once ? "Once" : "Always"; }
// Any row prints as its operation and how it fails.
template <typename Row>
auto operator<<(std::ostream& os, const Row& row) -> decltype(row.fails, os) {
    return os << row.operation << " failing " << FailsName(row.fails);
}

template <typename Row>
std::string RowName(const ::testing::TestParamInfo<Row>& info) {
    return info.param.operation + "_" + FailsName(info.param.fails);
}

// The rows of a table: one for each operation a row names (separated by
// spaces) and each way it fails.
template <typename Row>
std::vector<Row> Table(std::initializer_list<Row> spelled) {
    std::vector<Row> rows;
    for (const Row& row : spelled) {
        std::istringstream operations(row.operation);
        for (std::string operation; operations >> operation;) {
            for (const Fails fails : {Fails::Once, Fails::Always}) {
                if (row.fails != Fails::BothWays && row.fails != fails) continue;
                rows.push_back(row);
                rows.back().operation = operation;
                rows.back().fails = fails;
            }
        }
    }
    return rows;
}

int g_callsBefore = 0;  // of the operation, when its fault was injected

void Inject(const std::string& operation, Fails fails) {
    g_callsBefore = sim::TheMachine().Calls(operation);
    auto fail = fails == Fails::Once ? &sim::Machine::FailNext : &sim::Machine::FailAlways;
    (sim::TheMachine().*fail)(operation, kFault);
}

// The operation was called after its fault was injected, unless not reached.
template <typename Row>
void ExpectReached(const Row& row) {
    EXPECT_EQ(sim::TheMachine().Calls(row.operation) > g_callsBefore, !row.unreached) << "calls of " << row.operation;
}

auto Counts(const sim::HandleCounts& h) {
    return std::make_tuple(h.deviceSets, h.keys, h.files, h.searches, h.mutexes, h.processes, h.duplicates);
}

void ExpectHandles(const sim::HandleCounts& expected) {
    EXPECT_EQ(Counts(sim::TheMachine().OpenHandles()), Counts(expected))
        << "device sets, registry keys, files, file searches, mutexes, processes, duplicates left open";
}

// Calls `arm` at the pause that follows the status line `shown`.
void AtPauseAfter(const char* shown, std::function<void()> arm) {
    static std::function<void(DWORD)> record;
    static std::string awaited;
    static std::function<void()> armed;
    record = sim::TheMachine().onSleep;
    awaited = shown;
    armed = std::move(arm);
    sim::TheMachine().onSleep = [](DWORD ms) {
        record(ms);
        char line[StatusBoard::kTextSize];
        g_status.CopyText(line);
        if (armed && awaited == line) std::exchange(armed, nullptr)();
    };
}

// The four-port machine with the base device, the driver INFs in place, and
// the RESULT.FAIL of an earlier run that failed.
class FaultTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        PutTableInfs();
        AddPosDevices(true, "CDEF");
        machine().PutFile(std::string(kWin) + "\\RESULT.FAIL");
    }

    // How an install's or uninstall's run ended: its outcome and markers,
    // the line that shows the fault, the handles left open, the operation
    // reached or not.
    template <typename Row>
    void ExpectEnd(RunOutcome outcome, const Row& row) {
        EXPECT_EQ(outcome, OutcomeOf(row.markers));
        EXPECT_EQ(Markers(), row.markers);
        EXPECT_TRUE(row.trace == nullptr || TraceHas(row.trace)) << "missing trace: " << row.trace;
        // A failed folder lookup leaves junk in its buffer, and a list walked
        // past its end gives empty strings; neither may reach a trace.
        for (const std::string& line : Trace()) {
            EXPECT_TRUE(!line.empty() && line.find('\xCC') == std::string::npos) << line;
        }
        ExpectHandles(row.left);
        ExpectReached(row);
    }
};

// --- Install and port mapping ------------------------------------------------------------

constexpr char kFullInstallCmd[] = "INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL";
constexpr char kInstallError[] = "An error was encountered while installing the drivers.";

// How a port's mapping ends: its status line's result and what it holds.
enum class Port {
    Renamed,             // "[OK]", port name and friendly name
    FailedUnnamed,       // "[Failed]", neither written
    FailedPortNameOnly,  // "[Failed]", the port name written, no friendly name
    NotMapped,           // the install stopped before the mapping: no line, neither written
};
using Ports = std::array<Port, 4>;  // Serial Ports C, D, E, F
constexpr Ports kAllRenamed{Port::Renamed, Port::Renamed, Port::Renamed, Port::Renamed};
constexpr Ports kNoneMapped{Port::NotMapped, Port::NotMapped, Port::NotMapped, Port::NotMapped};
bool Failed(Port port) { return port == Port::FailedUnnamed || port == Port::FailedPortNameOnly; }

// A row names only what differs from a run without faults.
struct InstallFault {
    std::string operation;
    Fails fails;
    Lines markers = kSuccess;
    const char* trace = nullptr;  // a line the run must trace
    Ports ports = kAllRenamed;
    sim::HandleCounts left = kNoneOpen;
    bool unreached = false;
};

Lines ExpectedInstallTimeline(const InstallFault& fault) {
    // The first row's driver update fails: nothing after it is tried.
    if (fault.markers == kFail) return InstallLines(kBaseDesc, "[Failed]");
    Lines lines;
    for (const char* description : {kBaseDesc, kCardDesc, "Serial Port C", "Serial Port D", "Serial Port E",
                                    "Serial Port F"}) {
        lines = Join({lines, InstallLines(description)});
    }
    for (int i = 0; i < 4; ++i) {
        lines = Join({lines, MappingLines(kPorts[i].letter, Failed(fault.ports[i]) ? "[Failed]" : "[OK]")});
    }
    return lines;
}

// What each port holds: both names, the port name only, neither, or another name.
std::vector<std::string> PortsWritten() {
    std::vector<std::string> written;
    for (int i = 0; i < 4; ++i) {
        const PortDevice& port = kPorts[i];
        const std::string com = "COM" + std::to_string(3 + i);
        const auto name = sim::TheMachine().GetValue(ParamsKey(port.instanceId), "PortName");
        const sim::Device* device = sim::TheMachine().FindDevice(port.instanceId);
        if (device == nullptr) return {"no port " + std::string(1, port.letter)};
        const auto friendly = device->properties.find(SPDRP_FRIENDLYNAME);
        const bool hasFriendly = friendly != device->properties.end();
        const std::string friendlyName = std::string("Serial Port ") + port.letter + "(" + com + ")";
        const bool other =
            (name && sim::SzText(*name) != com) || (hasFriendly && sim::SzText(friendly->second) != friendlyName);
        written.push_back(std::string(1, port.letter) + (other || (hasFriendly && !name) ? " another name"
                                                         : hasFriendly                  ? " both names"
                                                         : name                         ? " port name only"
                                                                                        : " neither"));
    }
    return written;
}

std::vector<std::string> PortsWritten(const Ports& ports) {
    std::vector<std::string> written;
    for (int i = 0; i < 4; ++i) {
        written.push_back(std::string(1, kPorts[i].letter) + (ports[i] == Port::Renamed              ? " both names"
                                                              : ports[i] == Port::FailedPortNameOnly ? " port name only"
                                                                                                     : " neither"));
    }
    return written;
}

class InstallRunTest : public FaultTest {
protected:
    // The fault holds from the start, or from the mapping of Serial Port D on.
    void Check(const InstallFault& fault, bool afterPortC) {
        const auto infsBefore = AllInfs();
        const auto inject = [&fault] { Inject(fault.operation, fault.fails); };
        afterPortC ? AtPauseAfter("Mapping Serial Port C to COM3...[OK]", inject) : inject();

        const RunOutcome outcome = Run(kFullInstallCmd);
        machine().ClearFaults();

        ExpectEnd(outcome, fault);
        EXPECT_EQ(Timeline(), ExpectedInstallTimeline(fault));
        EXPECT_EQ(PortsWritten(), PortsWritten(fault.ports));
        // A failed mapping traces the step that failed, then its own failure.
        const Lines trace = Trace();
        const std::string failed = "--> Error assigning COM port";
        int afterTheStep = 0;
        for (std::size_t i = 1; i < trace.size(); ++i) {
            afterTheStep += trace[i] == failed && fault.trace && trace[i - 1] == fault.trace;
        }
        const auto failures = std::count_if(fault.ports.begin(), fault.ports.end(), Failed);
        EXPECT_EQ(afterTheStep, failures);
        EXPECT_EQ(std::count(trace.begin(), trace.end(), failed), failures);
        // The error box of a failed run, shown before any marker was written;
        // none after a run that succeeded.
        const bool runFailed = outcome == RunOutcome::Failed;
        EXPECT_EQ(Boxes(), runFailed ? std::vector<Box>{ErrorBox(kInstallError)} : std::vector<Box>{});
        EXPECT_EQ(markersAtBoxes, std::vector<Lines>(runFailed ? 1 : 0)) << "a marker written before the box went";
        // An install deletes nothing: no device, no INF (the base device is chosen).
        EXPECT_EQ(machine().Devices().size(), 6u);
        EXPECT_EQ(AllInfs(), infsBefore);
    }

private:
    Lines AllInfs() {
        return Join({machine().ListFolder(kInf), machine().ListFolder(kInf + "1port"),
                     machine().ListFolder(kInf + "4port")});
    }
};

class InstallFaultTest : public InstallRunTest, public ::testing::WithParamInterface<InstallFault> {};

TEST_P(InstallFaultTest, EndsAsTheToolMust) { Check(GetParam(), false); }

class PortMappingFaultTest : public InstallRunTest, public ::testing::WithParamInterface<InstallFault> {};

TEST_P(PortMappingFaultTest, EndsAsTheToolMust) { Check(GetParam(), true); }

constexpr char kAbnormal6[] = "----> Abnormal Exit : GetLastError() = 00000006h\n";
constexpr char kAbnormal8[] = "----> Abnormal Exit : GetLastError() = 00000008h\n";
constexpr char kNoMarkerFile[] = "--> Error creating marker file : 00000008h";

// A fault in the mapping of a port, how each port it meets ends, and what
// is left open for it.
struct PortFault {
    const char* operation;
    const char* trace = nullptr;
    Port met;
    sim::HandleCounts left = kNoneOpen;
};

const PortFault kPortFaults[] = {
    // A search that cannot look everywhere fails the port: "[Failed]", nothing written.
    {.operation = "SetupDiGetClassDevsA", .trace = kAbnormal6, .met = Port::FailedUnnamed},
    {.operation = "SetupDiEnumDeviceInfo", .trace = kAbnormal8, .met = Port::FailedUnnamed},
    {.operation = "SetupDiGetDeviceRegistryPropertyA", .trace = kAbnormal8, .met = Port::FailedUnnamed},
    // The port name written before the friendly name failed stays.
    {.operation = "SetupDiSetDeviceRegistryPropertyA", .trace = "----> Error writing updated friendly name\n",
         .met = Port::FailedPortNameOnly},
    {.operation = "SetupDiGetDeviceInstanceIdA", .trace = "----> Error getting instance ID",
         .met = Port::FailedUnnamed},
    {.operation = "RegOpenKeyExA", .trace = "----> Error opening device parameters key", .met = Port::FailedUnnamed},
    {.operation = "RegSetValueExA", .trace = "----> Error writing to COM port value key\n", .met = Port::FailedUnnamed},
    {.operation = "SetupDiDestroyDeviceInfoList", .met = Port::Renamed, .left = Sets(1)},
    {.operation = "RegCloseKey", .met = Port::Renamed, .left = Keys(1)},
};

// The rows of kPortFaults for a fault that holds from the mapping of port
// `first` (0 for Serial Port C) on: failing once, it meets that port;
// failing for good, that port and every one after it.
std::vector<InstallFault> PortRows(int first) {
    std::vector<InstallFault> rows;
    for (const PortFault& fault : kPortFaults) {
        for (const Fails fails : {Fails::Once, Fails::Always}) {
            // Each port's search reads Serial Port C first: failing once, that
            // read fails, and a later port's own read succeeds.
            const bool readOfC = std::string(fault.operation) == "SetupDiGetDeviceRegistryPropertyA";
            const int met = fails == Fails::Always ? 4 - first : readOfC && first > 0 ? 0 : 1;
            const sim::HandleCounts left{fault.left.deviceSets * met, fault.left.keys * met, 0, 0};
            InstallFault row{.operation = fault.operation, .fails = fails,
                             .trace = met > 0 ? fault.trace : nullptr, .left = left};
            std::fill_n(row.ports.begin() + first, met, fault.met);
            rows.push_back(row);
        }
    }
    return rows;
}

std::vector<InstallFault> operator+(std::vector<InstallFault> rows, const std::vector<InstallFault>& more) {
    rows.insert(rows.end(), more.begin(), more.end());
    return rows;
}

constexpr char kUnreachedByInstall[] =
    "SetupDiRemoveDevice SetupDiGetDeviceInstallParamsA SetupUninstallOEMInfA GetFileAttributesA ReadFile "
    "FindFirstFileA FindNextFileA FindClose SHGetFolderPathA MessageBoxA SetupDiOpenDevRegKey RegQueryValueExA "
    "GetStdHandle GetFileType DuplicateHandle";

// From the start of "INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL". The first
// call of most operations is Serial Port C's; the first file deletion is the
// old RESULT.SUCCESS, which is not there.
const std::vector<InstallFault> kInstallFaults = PortRows(0) + Table<InstallFault>({
    // The base device's row fails: the install stops there, box, RESULT.FAIL.
    {.operation = "UpdateDriverForPlugAndPlayDevicesA", .fails = BothWays, .markers = kFail,
         .trace = "----> Device Driver Installation failed : GetLastError() = 00000008h\n", .ports = kNoneMapped},
    // Old markers that cannot be deleted are passed over; one may stay beside the new.
    {.operation = "DeleteFileA", .fails = Once},
    {.operation = "DeleteFileA", .fails = Always, .markers = kBothMarkers},
    // The marker, written after the mapping, is the one file the run opens: when
    // it cannot be created that is traced, and the run still counts as a success.
    {.operation = "CreateFileA", .fails = BothWays, .markers = kNoMarker, .trace = kNoMarkerFile},
    {.operation = "CloseHandle", .fails = BothWays, .left = Files(1)},
    {.operation = kUnreachedByInstall, .fails = BothWays, .unreached = kUnreached},
});

INSTANTIATE_TEST_SUITE_P(EveryOperation, InstallFaultTest, ::testing::ValuesIn(kInstallFaults),
                         RowName<InstallFault>);

// Armed once Serial Port C is mapped: C keeps its names, the fault meets D
// (and, failing for good, E and F too); all drivers are installed and the
// old markers deleted by then.
const std::vector<InstallFault> kPortMappingFaults = PortRows(1) + Table<InstallFault>({
    {.operation = std::string(kUnreachedByInstall) + " UpdateDriverForPlugAndPlayDevicesA DeleteFileA",
         .fails = BothWays, .unreached = kUnreached},
});

INSTANTIATE_TEST_SUITE_P(EveryOperation, PortMappingFaultTest, ::testing::ValuesIn(kPortMappingFaults),
                         RowName<InstallFault>);

// --- The boxes of an attended run ---------------------------------------------------------

struct BoxFault {
    std::string operation;
    Fails fails;
    const char* cmdLine;
    const char* failing = nullptr;  // another operation, failing once to fail the run
    Lines markers;
    int boxes;                  // MessageBoxA calls
    Lines updated = {};         // the hardware IDs given a driver update, in order
    bool baseDeclined = false;  // the base device's INF is deleted
    bool unreached = false;
};

class BoxFaultTest : public FaultTest, public ::testing::WithParamInterface<BoxFault> {};

// Every question would be answered Yes.
TEST_P(BoxFaultTest, TheRunGoesOnWithoutItsBoxes) {
    const BoxFault& row = GetParam();
    machine().QueueAnswers({IDYES, IDYES});
    if (row.failing != nullptr) machine().FailNext(row.failing, kFault);
    Inject(row.operation, row.fails);

    EXPECT_EQ(Run(row.cmdLine), OutcomeOf(row.markers));

    EXPECT_EQ(machine().Calls("MessageBoxA"), row.boxes);
    EXPECT_EQ(UpdatedIds(), row.updated);
    EXPECT_EQ(machine().FileExists(kInf + "ZANBaseD.inf"), !row.baseDeclined);
    EXPECT_TRUE(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B52\\BASE0"));
    EXPECT_EQ(Markers(), row.markers);
}

constexpr char kAsking[] = "INSTALL BASE_DEVICE MAROVEL_SERIAL";

const std::vector<BoxFault> kBoxFaults = Table<BoxFault>({
    // A question that cannot be shown counts as No; the next is asked all the same.
    {.operation = "MessageBoxA", .fails = Once, .cmdLine = kAsking, .markers = kSuccess, .boxes = 2,
         .updated = {kCardId, kPorts[0].hardwareId, kPorts[1].hardwareId, kPorts[2].hardwareId, kPorts[3].hardwareId},
         .baseDeclined = true},
    {.operation = "MessageBoxA", .fails = Always, .cmdLine = kAsking, .markers = kSuccess, .boxes = 2,
         .updated = {kCardId, kPorts[0].hardwareId}, .baseDeclined = true},
    // Nobody can dismiss an error box that cannot be shown: the run still ends failed.
    {.operation = "MessageBoxA", .fails = Always, .cmdLine = kFullInstallCmd,
         .failing = "UpdateDriverForPlugAndPlayDevicesA", .markers = kFail, .boxes = 1, .updated = {kBaseId}},
    {.operation = "MessageBoxA", .fails = Always, .cmdLine = "UNINSTALL", .failing = "SetupDiRemoveDevice",
         .markers = kFail, .boxes = 1},
});

INSTANTIATE_TEST_SUITE_P(EveryOperation, BoxFaultTest, ::testing::ValuesIn(kBoxFaults),
                         [](const ::testing::TestParamInfo<BoxFault>& info) {
                             return RowName(info) + (info.param.failing ? std::string("_") + info.param.failing : "");
                         });

// --- Uninstall ----------------------------------------------------------------------------

Lines Oem(int n) {
    const std::string name = "oem" + std::to_string(n);
    return {name + ".inf", name + ".PNF"};
}
const Lines kTableBase{"ZANBaseD.inf", "ZANBaseD.pnf"};
const Lines kTableCard{"1port\\ZAN2kmf.inf", "1port\\ZAN2kmf.pnf"};
const Lines kEveryInf = Join({kTableBase, kTableCard, {"4port\\ZAN2kmf.inf", "4port\\ZAN2kmf.pnf", "ZANPorts.inf"},
                              Oem(1), Oem(2), Oem(3), Oem(4)});

// What an uninstall removes.
enum class Removed {
    NothingSearchFailed,   // the base device's search fails
    NothingRemovalFailed,  // the base device is found, its removal fails
    BaseAndCard,           // the base device and the card, the four-port row finding nothing
};
// An uninstall's status lines, each with its pause.
Lines UninstallLines(Removed removed) {
    const auto found = [](const std::string& device, const char* result) {
        const std::string line = device + " found, removing...";
        return Lines{line, "sleep 1000", line + result, "sleep 1000"};
    };
    const std::string base = std::string("Removing ") + kBaseDesc + "...", card = std::string("Removing ") + kCardDesc + "...";
    const Lines start{"Removing previously installed drivers and devices...", "sleep 1000", base};
    if (removed == Removed::NothingSearchFailed) return Join({start, {base + "[Failed]", "sleep 1000"}});
    if (removed == Removed::NothingRemovalFailed) return Join({start, found(kBaseDesc, "[Failed]")});
    return Join({start, found(kBaseDesc, "[OK]"), {card}, found(kCardDesc, "[OK]"), {card, "Uninstall Complete!"}});
}

// The table's own INF and PNF files of the base device and the one-port card;
// what a run without faults deletes.
const Lines kBothTables = Join({kTableBase, kTableCard});
const Lines kAllGone = Join({kBothTables, Oem(1), Oem(3), Oem(4)});

// A row names only what differs from a run without faults.
struct UninstallFault {
    std::string operation;
    Fails fails;
    Lines markers = kSuccess;
    const char* trace = nullptr;  // a line the run must trace
    Lines gone = kAllGone;        // files of the INF folder deleted; every other one stays
    sim::HandleCounts left = kNoneOpen;
    Removed removed = Removed::BaseAndCard;
    bool unreached = false;
};

class UninstallFaultTest : public FaultTest, public ::testing::WithParamInterface<UninstallFault> {};

// Unattended: each removal's install parameters are read for a restart
// need, and no box is shown. The OEM copies, each with its PNF, beside the drivers.
TEST_P(UninstallFaultTest, EndsAsTheToolMust) {
    const UninstallFault& fault = GetParam();
    PutOemCopies(false);
    Inject(fault.operation, fault.fails);

    const RunOutcome outcome = Run("UNINSTALL UNATTENDED");
    machine().ClearFaults();

    ExpectEnd(outcome, fault);
    EXPECT_EQ(Timeline(), UninstallLines(fault.removed));
    EXPECT_TRUE(machine().MessageBoxes().empty());
    const bool removed = fault.removed == Removed::BaseAndCard;
    EXPECT_EQ(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B52\\BASE0") == nullptr, removed);
    EXPECT_EQ(machine().FindDevice("PCI\\VEN_1D9E&DEV_0B54\\CARD0") == nullptr, removed);
    for (const PortDevice& port : kPorts) EXPECT_TRUE(machine().FindDevice(port.instanceId)) << port.letter;
    for (const std::string& name : kEveryInf) {  // those named gone, and no other
        const bool gone = std::find(fault.gone.begin(), fault.gone.end(), name) != fault.gone.end();
        EXPECT_EQ(machine().FileExists(kInf + name), !gone) << name;
    }
}


constexpr char kNoneFound[] = "----> No driver installation found";
constexpr char kSearchFailed[] = "----> OEM INF files could not be searched : GetLastError() = 00000008h";
constexpr char kReadFailed[] = "--> Error reading file";
constexpr char kNoWindowsPath[] = "----> Windows path not available : 80004005h";
constexpr char kOpenFailed[] = "--> Error opening file";
constexpr char kDeleteFailed[] = "----> Failed";
constexpr char kPackageFault[] = "----> Driver Package Uninstall failed : GetLastError() = 00000008h";
constexpr char kNoParameters[] = "----> Install parameters not read : GetLastError() = 00000008h";

// The base device's OEM scan visits oem1 to oem4 in turn; the card's scan
// what is left of them. The first file deletion is the old RESULT.SUCCESS,
// which is not there.
const std::vector<UninstallFault> kUninstallFaults = Table<UninstallFault>({
    // A search that cannot look everywhere stops the uninstall at its row, as
    // a removal that fails: nothing is removed or deleted.
    {.operation = "SetupDiGetClassDevsA", .fails = BothWays, .markers = kFail, .trace = kAbnormal6, .gone = {},
         .removed = Removed::NothingSearchFailed},
    {.operation = "SetupDiEnumDeviceInfo SetupDiGetDeviceRegistryPropertyA", .fails = BothWays, .markers = kFail,
         .trace = kAbnormal8, .gone = {}, .removed = Removed::NothingSearchFailed},
    // The first removal fails: the pass stops, nothing of the card is touched.
    {.operation = "SetupDiRemoveDevice", .fails = BothWays, .markers = kFail, .gone = {},
         .removed = Removed::NothingRemovalFailed},
    // Parameters that cannot be read count as no restart need.
    {.operation = "SetupDiGetDeviceInstallParamsA", .fails = BothWays, .trace = kNoParameters},
    {.operation = "SetupDiDestroyDeviceInfoList", .fails = BothWays, .left = Sets(1)},
    // The copies are no packages of the store; the refusal shows the fault
    // instead, and the deletions go on as before.
    {.operation = "SetupUninstallOEMInfA", .fails = BothWays, .trace = kPackageFault},
    {.operation = "DeleteFileA", .fails = Once},
    // Nothing can be deleted: devices go, every file stays, both markers are there.
    {.operation = "DeleteFileA", .fails = Always, .markers = kBothMarkers, .trace = kDeleteFailed, .gone = {}},
    // Only a file the package removal took needs the look before it.
    {.operation = "GetFileAttributesA", .fails = BothWays},
    // A copy that cannot be opened is never deleted; the next one is.
    {.operation = "CreateFileA", .fails = Once, .trace = kOpenFailed, .gone = Join({kBothTables, Oem(3), Oem(4)})},
    {.operation = "CreateFileA", .fails = Always, .markers = kNoMarker, .trace = kNoMarkerFile, .gone = kBothTables},
    // A copy that cannot be read is never deleted either.
    {.operation = "ReadFile", .fails = Once, .trace = kReadFailed, .gone = Join({kBothTables, Oem(3), Oem(4)})},
    {.operation = "ReadFile", .fails = Always, .trace = kReadFailed, .gone = kBothTables},
    // A handle left open keeps its file from being deleted; its PNF goes.
    {.operation = "CloseHandle", .fails = Once, .trace = kDeleteFailed,
         .gone = Join({kBothTables, {"oem1.PNF"}, Oem(3), Oem(4)}), .left = Files(1)},
    // Four copies opened by each of two scans, and the marker.
    {.operation = "CloseHandle", .fails = Always, .trace = kDeleteFailed,
         .gone = Join({kBothTables, {"oem1.PNF", "oem3.PNF", "oem4.PNF"}}), .left = Files(9)},
    // A search that fails is told as one, not as a folder without copies.
    {.operation = "FindFirstFileA", .fails = Once, .trace = kSearchFailed, .gone = Join({kBothTables, Oem(3)})},
    {.operation = "FindFirstFileA", .fails = Always, .trace = kSearchFailed, .gone = kBothTables},
    // Each scan stops after its first file.
    {.operation = "FindNextFileA", .fails = Once, .trace = kSearchFailed, .gone = Join({kBothTables, Oem(1), Oem(3)})},
    {.operation = "FindNextFileA", .fails = Always, .trace = kSearchFailed, .gone = Join({kBothTables, Oem(1)})},
    {.operation = "FindClose", .fails = Once, .left = Searches(1)},
    {.operation = "FindClose", .fails = Always, .left = Searches(2)},
    // Without the Windows folder a scan deletes nothing.
    {.operation = "SHGetFolderPathA", .fails = Once, .trace = kNoWindowsPath, .gone = Join({kBothTables, Oem(3)})},
    {.operation = "SHGetFolderPathA", .fails = Always, .trace = kNoWindowsPath, .gone = kBothTables},
    {.operation = "SetupDiSetDeviceRegistryPropertyA SetupDiGetDeviceInstanceIdA UpdateDriverForPlugAndPlayDevicesA "
                  "RegOpenKeyExA RegSetValueExA RegCloseKey MessageBoxA SetupDiOpenDevRegKey RegQueryValueExA "
                  "GetStdHandle GetFileType DuplicateHandle",
         .fails = BothWays, .unreached = kUnreached},
});

INSTANTIATE_TEST_SUITE_P(EveryOperation, UninstallFaultTest, ::testing::ValuesIn(kUninstallFaults),
                         RowName<UninstallFault>);

// --- The run around the window --------------------------------------------------------------

constexpr char kLog[] = "C:\\logs\\zan.log";
const std::string kRunArguments = std::string("UNINSTALL UNATTENDED /LOG=") + kLog;
constexpr UINT kUnattendedErrorMode = SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;

enum class Setting {
    Native,           // an empty machine: the uninstall finds nothing; the log is made new
    Unverifiable,     // ... and the new log's final path cannot be read
    LogThere,         // ... but the log is there, from an earlier run
    Wow64,            // the 32-bit program on 64-bit Windows: the 64-bit program ends with 3010
    NoLogFolder,      // ... and the log's folder is missing
    NoNativeProgram,  // ... and the 64-bit program is missing
};

enum class Log {
    Whole,     // the first line, every line traced after it, the last line
    Headless,  // ... but the first
    Untraced,  // the first line, the uninstall's lines (which the debugger missed), the last line
    Empty,     // made, but nothing written
    Kept,      // the earlier run's line alone
    None,      // no file
};

constexpr char kSucceeded[] = "RESULT.SUCCESS";
constexpr char kFailed[] = "RESULT.FAIL";
constexpr char kHandedOver[] = "handed over to the 64-bit program";

// A row names only what differs from a run without faults.
struct RunFault {
    std::string operation;
    Fails fails;
    Setting setting = Setting::Native;
    int exitCode = 0;
    const char* outcome = kSucceeded;  // as the log's last line names it
    Lines markers = kSuccess;
    const char* trace = nullptr;  // a line the run must trace, or text the log must hold
    Log log = Log::Whole;
    bool unreached = false;
};

// The native run's trace as the log writes it: an uninstall whose three
// removal rows find nothing.
const Lines kSearch{"--> Device Enumeration(FindDevice)", "----> No more devices\\n"};
const Lines kNothingFound = Join({{"**** Removing installed drivers ****"}, kSearch, kSearch, kSearch, {kNoneFound}});

class RunFaultTest : public MachineTest, public ::testing::WithParamInterface<RunFault> {};

// "UNINSTALL UNATTENDED /LOG=C:\logs\zan.log" through the whole run, the
// worker run to its end at once.
TEST_P(RunFaultTest, EndsAsTheToolMust) {
    const RunFault& row = GetParam();
    const bool wow64 = row.setting >= Setting::Wow64;
    // An earlier run's RESULT.FAIL, and under WOW64 RESULT.SUCCESS beside it:
    // the markers a hand-over must leave alone.
    machine().PutFile(std::string(kWin) + "\\RESULT.FAIL");
    if (wow64) machine().PutFile(std::string(kWin) + "\\RESULT.SUCCESS");
    if (row.setting != Setting::NoLogFolder) machine().PutFolder("C:\\logs");
    if (row.setting == Setting::LogThere) machine().PutFile(kLog, "2024-05-01 06:00:00.000 1 an earlier run\r\n");
    machine().wow64 = wow64;
    if (row.setting != Setting::NoNativeProgram) {
        machine().AddProgram("C:\\ZAN\\x64\\ZanDriverInstaller.exe", [](const std::string&) -> DWORD { return 3010; });
    }
    if (row.setting == Setting::Unverifiable) {
        machine().onCreateFile = [](const std::string&, DWORD disposition) {
            if (disposition == CREATE_NEW) sim::TheMachine().FailNext("GetFinalPathNameByHandleA", kFault);
        };
    }
    Inject(row.operation, row.fails);

    const int exitCode = RunWholeProgram(kRunArguments);
    machine().ClearFaults();

    EXPECT_EQ(exitCode, row.exitCode);
    EXPECT_EQ(Markers(), row.markers);
    const std::string text = machine().ReadWholeFile(kLog).value_or("");
    EXPECT_TRUE(row.trace == nullptr || TraceHas(row.trace) || text.find(row.trace) != std::string::npos)
        << "missing: " << row.trace;
    EXPECT_EQ(machine().FileExists(kLog), row.log != Log::None);
    const Lines first{FirstLogLine(kRunArguments)};
    const Lines last{"Finished: " + std::string(row.outcome) + ", exit code " + std::to_string(row.exitCode)};
    EXPECT_EQ(LogTexts(text), row.log == Log::Whole      ? Join({first, TraceAsLogged(), last})
                              : row.log == Log::Headless ? Join({TraceAsLogged(), last})
                              : row.log == Log::Untraced ? Join({first, kNothingFound, last})
                              : row.log == Log::Kept     ? Lines{"an earlier run"}
                                                         : Lines{});
    if (row.log == Log::Untraced) {  // the debugger missed the first line, or every line
        const std::size_t missed = row.fails == Fails::Once ? 1 : kNothingFound.size();
        EXPECT_EQ(TraceAsLogged(), Lines(kNothingFound.begin() + missed, kNothingFound.end()));
    }
    EXPECT_TRUE(machine().MessageBoxes().empty());
    ExpectHandles(kNoneOpen);
    // The lock is given back once by a run that took it: not by one that handed over, nor one without it.
    const bool locked = row.outcome != std::string(kHandedOver) && row.operation != "CreateMutexA" &&
                        row.operation != "WaitForSingleObject";
    EXPECT_EQ(machine().Calls("ReleaseMutex"), locked ? 1 : 0);
    // No system error box either, unless the mode could not be set.
    EXPECT_EQ(machine().errorMode.load(), row.operation == "SetErrorMode" ? 0 : kUnattendedErrorMode);
    // Under WOW64 the log's folder and file are opened past the redirection
    // of System32, which is on again after them.
    const bool pastRedirection = wow64 && row.operation != "Wow64DisableWow64FsRedirection";
    std::set<std::string> opened;
    if (pastRedirection) opened = {kLog};
    if (pastRedirection && row.setting != Setting::NoLogFolder) opened.insert("C:\\logs");
    EXPECT_EQ(machine().OpenedWithoutRedirection(), opened);
    EXPECT_EQ(machine().FsRedirectionOff(), row.operation == "Wow64RevertWow64FsRedirection");
    ExpectReached(row);
}

constexpr char kUnchecked[] = "--> Log file \"C:\\logs\\zan.log\" could not be checked : GetLastError() = 00000008h";
constexpr char kNotStarted[] = "--> Error starting the 64-bit program : 00000008h";
const auto Wow64 = Setting::Wow64;

const std::vector<RunFault> kRunFaults = Table<RunFault>({
    // The lock fails: traced, and the run goes on without it; or it cannot
    // be given back, and its handle is closed all the same.
    {.operation = "CreateMutexA WaitForSingleObject", .fails = BothWays,
         .trace = "--> Run lock not available : GetLastError() = 00000008h"},
    {.operation = "ReleaseMutex FlushFileBuffers", .fails = BothWays},
    // A line that cannot be written is lost; the run does not depend on its log.
    {.operation = "WriteFile", .fails = Once, .log = Log::Headless},
    {.operation = "WriteFile", .fails = Always, .log = Log::Empty},
    // No time, no process ID, no debugger, no error mode: the run ends as it would.
    {.operation = "GetLocalTime", .fails = BothWays, .trace = "0000-00-00 00:00:00.000 3172 ZanDriverInstaller"},
    {.operation = "GetCurrentProcessId", .fails = BothWays, .trace = "2024-05-06 08:30:00.000 0 ZanDriverInstaller"},
    {.operation = "OutputDebugStringA", .fails = BothWays, .log = Log::Untraced},
    {.operation = "SetErrorMode", .fails = BothWays},
    // What cannot be checked is not written to; a new log that failed its
    // check and cannot be removed again stays empty.
    {.operation = "GetFullPathNameA GetLongPathNameA GetFileInformationByHandle GetFinalPathNameByHandleA",
         .fails = BothWays, .trace = kUnchecked, .log = Log::None},
    {.operation = "GetFullPathNameA", .fails = BothWays, .setting = Setting::LogThere, .trace = kUnchecked,
         .log = Log::Kept},
    {.operation = "SetFileInformationByHandle", .fails = BothWays, .setting = Setting::Unverifiable,
         .trace = kUnchecked, .log = Log::Empty},
    // The system cannot tell WOW64: the run goes on in this process.
    {.operation = "IsWow64Process GetCurrentProcess", .fails = BothWays, .setting = Wow64,
         .trace = "**** Removing installed drivers ****"},
    // The log is opened with System32 redirected; the 64-bit program does the run.
    {.operation = "Wow64DisableWow64FsRedirection", .fails = BothWays, .setting = Wow64, .exitCode = 3010,
         .outcome = kHandedOver, .markers = kBothMarkers},
    // The open's error is traced, not the revert's.
    {.operation = "Wow64RevertWow64FsRedirection", .fails = BothWays, .setting = Setting::NoLogFolder, .exitCode = 3010,
         .outcome = kHandedOver, .markers = kBothMarkers,
         .trace = "--> Log file \"C:\\logs\\zan.log\" could not be opened : GetLastError() = 00000003h",
         .log = Log::None},
    // The 64-bit program cannot be started: the run fails like an operation;
    // without the Windows folder no marker is deleted or written.
    {.operation = "GetModuleFileNameA CreateProcessA", .fails = BothWays, .setting = Wow64, .exitCode = 1,
         .outcome = kFailed, .markers = kFail, .trace = kNotStarted},
    {.operation = "GetWindowsDirectoryA", .fails = BothWays, .setting = Setting::NoNativeProgram, .exitCode = 1,
         .outcome = kFailed, .markers = kBothMarkers, .trace = "--> Windows directory not available"},
    // Started, but its end or its exit code cannot be had: exit code 1.
    {.operation = "WaitForSingleObject", .fails = BothWays, .setting = Wow64, .exitCode = 1, .outcome = kHandedOver,
         .markers = kBothMarkers, .trace = "--> Error waiting for the 64-bit program : 00000008h"},
    {.operation = "GetExitCodeProcess", .fails = BothWays, .setting = Wow64, .exitCode = 1, .outcome = kHandedOver,
         .markers = kBothMarkers, .trace = "--> Error reading the 64-bit program's exit code : 00000008h"},
});

std::string RunFaultName(const ::testing::TestParamInfo<RunFault>& info) {
    static const char* const kSettings[] = {"",       "_Unverifiable", "_LogThere",
                                            "_Wow64", "_NoLogFolder",  "_NoNativeProgram"};
    return RowName(info) + kSettings[static_cast<int>(info.param.setting)];
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, RunFaultTest, ::testing::ValuesIn(kRunFaults), RunFaultName);

// --- CHECK: the machine read, never changed -----------------------------------------------

// A row names only what differs from a check that finds the machine as its operation leaves it.
struct CheckFault {
    std::string operation;
    Fails fails;
    // "CHECK UNINSTALL" after an uninstall; else "CHECK BASE_DEVICE MAROVEL_SERIAL" after that install.
    bool uninstall = false;
    int exitCode = 0;
    const char* trace = nullptr;  // a line the check must trace
    bool summary = true;          // the summary line reached the captured standard output
    sim::HandleCounts left = kNoneOpen;
    bool unreached = false;
    bool wow64 = false;  // the 32-bit program on 64-bit Windows, whose 64-bit program ends with 0
};

class CheckFaultTest : public FaultTest, public ::testing::WithParamInterface<CheckFault> {};

// The four-port machine with the base device as the install leaves it (or
// the uninstall after it), an OEM copy of another device's driver beside it,
// the standard output a pipe.
TEST_P(CheckFaultTest, ChangesNothingAndTellsWhatItCouldNotRead) {
    const CheckFault& row = GetParam();
    machine().PutFile(kInf + "oem2.inf", "[Models]\r\n%Other%=Inst, PCI\\VEN_8086&DEV_1234\r\n");
    ASSERT_EQ(Run("INSTALL UNATTENDED BASE_DEVICE MAROVEL_SERIAL"), RunOutcome::Succeeded);
    if (row.uninstall) {
        ASSERT_EQ(Run("UNINSTALL UNATTENDED"), RunOutcome::Succeeded);
    }
    ResetDeviceTable();
    machine().ClearTrace();
    machine().standardOutput = sim::Machine::StandardOutput::Pipe;
    machine().wow64 = row.wow64;
    if (row.wow64) machine().AddProgram("C:\\ZAN\\x64\\ZanDriverInstaller.exe", [](const std::string&) -> DWORD { return 0; });
    const std::string before = machine().StateText();
    const auto calls = ChangingCalls();
    Inject(row.operation, row.fails);

    const int exitCode = RunWholeProgram(row.uninstall ? "CHECK UNINSTALL" : "CHECK BASE_DEVICE MAROVEL_SERIAL");
    machine().ClearFaults();

    EXPECT_EQ(exitCode, row.exitCode);
    EXPECT_EQ(machine().StateText(), before) << "the check changed the machine";
    EXPECT_EQ(ChangingCalls(), calls) << "the check called what changes the machine";
    EXPECT_TRUE(row.trace == nullptr || TraceHas(row.trace)) << "missing trace: " << row.trace;
    const std::string output = machine().StandardOutputText();
    EXPECT_EQ(!output.empty(), row.summary) << output;
    if (!output.empty()) {
        const char* const asLeft = row.uninstall ? "ZAN drivers removed: " : "ZAN drivers installed: ";
        EXPECT_EQ(output.rfind(asLeft, 0) == 0, row.exitCode == 0) << output;
    }
    ExpectHandles(row.left);
    ExpectReached(row);
}

constexpr bool kUninstalled = true;
constexpr char kUnreachedByCheck[] =
    "SetupDiSetDeviceRegistryPropertyA SetupDiRemoveDevice SetupDiGetDeviceInstallParamsA SetupUninstallOEMInfA "
    "UpdateDriverForPlugAndPlayDevicesA RegSetValueExA DeleteFileA GetFileAttributesA FlushFileBuffers "
    "GetFileInformationByHandle GetFinalPathNameByHandleA SetFileInformationByHandle GetFullPathNameA GetLongPathNameA "
    "GetWindowsDirectoryA DuplicateHandle MessageBoxA Sleep GetLocalTime GetCurrentProcessId "
    "Wow64DisableWow64FsRedirection Wow64RevertWow64FsRedirection GetModuleFileNameA CreateProcessA GetExitCodeProcess "
    "FindWindowExA GetWindowTextA SetForegroundWindow GetForegroundWindow SendInput";
constexpr char kBaseDriverUnread[] =
    "--> Check ZAN 7350-21x Base Device (PCI\\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E): expected a present device with a "
    "driver; found a present device whose driver could not be read (GetLastError() = 00000008h) [Not read]";
constexpr char kPortCNamesUnread[] =
    "--> Check Serial Port C names: expected PortName \"COM3\" and friendly name \"Serial Port C(COM3)\"; found "
    "PortName unreadable (GetLastError() = 00000008h) and friendly name \"Serial Port C(COM3)\" [Not read]";
constexpr char kOemUnread[] =
    "--> Check OEM INF copies naming PCI\\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E: expected none; found none; unread: "
    "oem2.inf [Not read]";

const std::vector<CheckFault> kCheckFaults = Table<CheckFault>({
    // A list that cannot be walked, or a device that cannot be read: could not be read, never "absent".
    {.operation = "SetupDiGetClassDevsA", .fails = BothWays, .exitCode = 1, .trace = kAbnormal6},
    {.operation = "SetupDiEnumDeviceInfo SetupDiGetDeviceRegistryPropertyA", .fails = BothWays, .exitCode = 1,
         .trace = kAbnormal8},
    {.operation = "SetupDiGetClassDevsA", .fails = BothWays, .uninstall = kUninstalled, .exitCode = 1,
         .trace = kAbnormal6},
    {.operation = "SetupDiOpenDevRegKey RegQueryValueExA", .fails = BothWays, .exitCode = 1,
         .trace = kBaseDriverUnread},
    {.operation = "SetupDiGetDeviceInstanceIdA RegOpenKeyExA", .fails = BothWays, .exitCode = 1,
         .trace = kPortCNamesUnread},
    // Copies that cannot be looked at.
    {.operation = "CreateFileA", .fails = BothWays, .uninstall = kUninstalled, .exitCode = 1, .trace = kOemUnread},
    {.operation = "ReadFile", .fails = BothWays, .uninstall = kUninstalled, .exitCode = 1, .trace = kOemUnread},
    {.operation = "FindFirstFileA FindNextFileA", .fails = BothWays, .uninstall = kUninstalled, .exitCode = 1,
         .trace = kSearchFailed},
    {.operation = "SHGetFolderPathA", .fails = BothWays, .uninstall = kUninstalled, .exitCode = 1,
         .trace = kNoWindowsPath},
    // Handles the system would not close stay open; the verdict stands.
    {.operation = "RegCloseKey", .fails = Once, .left = Keys(1)},
    {.operation = "RegCloseKey", .fails = Always, .left = Keys(10)},
    {.operation = "SetupDiDestroyDeviceInfoList", .fails = Once, .left = Sets(1)},
    {.operation = "SetupDiDestroyDeviceInfoList", .fails = Always, .left = Sets(6)},
    {.operation = "FindClose", .fails = Once, .uninstall = kUninstalled, .left = Searches(1)},
    {.operation = "FindClose", .fails = Always, .uninstall = kUninstalled, .left = Searches(2)},
    {.operation = "CloseHandle", .fails = Once, .uninstall = kUninstalled, .left = Files(1)},
    {.operation = "CloseHandle", .fails = Always, .uninstall = kUninstalled, .left = {0, 0, 2, 0, 1, 0, 0}},
    // Without a captured output the verdict is the exit code alone.
    {.operation = "GetStdHandle GetFileType WriteFile", .fails = BothWays, .summary = false},
    // The lock, the error mode, the debugger, WOW64 itself: the check goes on.
    {.operation = "CreateMutexA WaitForSingleObject ReleaseMutex SetErrorMode IsWow64Process GetCurrentProcess "
                  "OutputDebugStringA",
         .fails = BothWays},
    {.operation = kUnreachedByCheck, .fails = BothWays, .unreached = kUnreached},
    // Handed over: the 64-bit program gets no captured output, and says so.
    {.operation = "DuplicateHandle", .fails = BothWays,
         .trace = "--> Standard output not passed on : GetLastError() = 00000008h", .summary = false, .wow64 = true},
});

INSTANTIATE_TEST_SUITE_P(EveryOperation, CheckFaultTest, ::testing::ValuesIn(kCheckFaults),
                         [](const ::testing::TestParamInfo<CheckFault>& info) {
                             return RowName(info) + (info.param.uninstall ? "_Uninstall" : "") +
                                    (info.param.wow64 ? "_Wow64" : "");
                         });

// --- The wizard dismisser ----------------------------------------------------------------

struct DismisserFault {
    std::string operation;
    Fails fails;
    Lines keys = {};   // sent to the wizard, in order
    int sleepsBefore;  // lookup pauses before it was found
    bool paused;       // the pause after it was found
    int sleepsAfter;   // lookup pauses for the other title, which no window has
    bool unreached = false;
};

class DismisserFaultTest : public MachineTest, public ::testing::WithParamInterface<DismisserFault> {};

// One cycle with a "Hardware Installation" window on the screen.
TEST_P(DismisserFaultTest, AnswersTheWizardOrLeavesItForTheNextCycle) {
    const DismisserFault& row = GetParam();
    const HWND wizard = machine().AddWindow(kHardwareInstallationTitle);
    Inject(row.operation, row.fails);

    DismissHardwareWizardsOnce();
    machine().ClearFaults();

    std::vector<DWORD> sleeps(row.sleepsBefore, kLookupSleepMs);
    if (row.paused) sleeps.push_back(kAnswerPauseMs);
    sleeps.insert(sleeps.end(), row.sleepsAfter, kLookupSleepMs);
    EXPECT_EQ(machine().Sleeps(), sleeps);
    EXPECT_EQ(machine().NowMs(), std::accumulate(sleeps.begin(), sleeps.end(), 0u));
    Lines keys;
    for (const sim::KeyInput& input : machine().Inputs()) {
        EXPECT_EQ(input.window, wizard);
        EXPECT_EQ(input.vk, kHardwareInstallationKey);
        keys.push_back(input.flags == 0 ? "down" : input.flags == KEYEVENTF_KEYUP ? "up" : "other");
    }
    EXPECT_EQ(keys, row.keys);
    ExpectReached(row);
}

const std::vector<DismisserFault> kDismisserFaults = Table<DismisserFault>({
    // The window is not found (or its title not read) at the first lookup, or at none.
    {.operation = "FindWindowExA GetWindowTextA", .fails = Once, .keys = {"down", "up"}, .sleepsBefore = 1,
         .paused = true, .sleepsAfter = 10},
    {.operation = "FindWindowExA GetWindowTextA", .fails = Always, .sleepsBefore = 10, .paused = false,
         .sleepsAfter = 10},
    // Not in front: no key, the pause all the same.
    {.operation = "SetForegroundWindow GetForegroundWindow", .fails = BothWays, .sleepsBefore = 0, .paused = true,
         .sleepsAfter = 10},
    {.operation = "SendInput", .fails = Once, .keys = {"up"}, .sleepsBefore = 0, .paused = true, .sleepsAfter = 10},
    {.operation = "SendInput", .fails = Always, .sleepsBefore = 0, .paused = true, .sleepsAfter = 10},
    // A pause that is not made: the clock does not move.
    {.operation = "Sleep", .fails = Once, .keys = {"down", "up"}, .sleepsBefore = 0, .paused = false,
         .sleepsAfter = 10},
    {.operation = "Sleep", .fails = Always, .keys = {"down", "up"}, .sleepsBefore = 0, .paused = false,
         .sleepsAfter = 0},
});

INSTANTIATE_TEST_SUITE_P(EveryOperation, DismisserFaultTest, ::testing::ValuesIn(kDismisserFaults),
                         RowName<DismisserFault>);

// --- The sweep itself ------------------------------------------------------------------------

// Every operation of the seam is reached and failed both ways in some table,
// but for those that carry the faults themselves.
TEST(FaultSweep, FailsEveryOperationBothWaysWhereItIsReached) {
    std::set<std::pair<std::string, Fails>> reached;
    const auto add = [&reached](const auto& table) {
        for (const auto& row : table) {
            if (!row.unreached) reached.emplace(row.operation, row.fails);
        }
    };
    add(kInstallFaults);
    add(kPortMappingFaults);
    add(kBoxFaults);
    add(kUninstallFaults);
    add(kRunFaults);
    add(kDismisserFaults);
    add(kCheckFaults);
    const auto& faultless = sim::kOperationsWithoutFault;
    for (const std::string_view operation : plat::kOperations) {
        const bool hasFault = std::find(std::begin(faultless), std::end(faultless), operation) == std::end(faultless);
        for (const Fails fails : {Fails::Once, Fails::Always}) {
            EXPECT_EQ(reached.count({std::string(operation), fails}), hasFault ? 1u : 0u)
                << operation << " failing " << FailsName(fails);
        }
    }
}

}  // namespace
