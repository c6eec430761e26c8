// A run of the program around its window on the simulated machine: the lock
// that lets one run at a time change the machine, the log that records a run
// from its first line to its exit code, and every way a run ends.
#include "machine_fixture.h"

using namespace pos;

namespace {

constexpr char kLogFolder[] = "C:\\INSTALL logs";
constexpr char kLog[] = "C:\\INSTALL logs\\UNINSTALL.txt";
// The log's option, quoted; keywords in its path choose nothing.
#define WITH_LOG " /LOG=\"C:\\INSTALL logs\\UNINSTALL.txt\""

}  // namespace

TEST_F(MachineTest, ALockHeldByOneThreadRefusesAnotherUntilGivenBack) {
    RunLock held;
    ASSERT_EQ(held.Take(), RunLock::Result::Taken);
    RunLock::Result other = RunLock::Result::Taken;
    std::thread([&] { other = RunLock().Take(); }).join();
    EXPECT_EQ(other, RunLock::Result::Refused);

    held.Release();
    EXPECT_FALSE(machine().MutexExists(kRunLockName));  // given back and closed
    std::thread([&] { other = RunLock().Take(); }).join();
    EXPECT_EQ(other, RunLock::Result::Taken);
    EXPECT_FALSE(machine().MutexExists(kRunLockName));
}

// --- The run around the window --------------------------------------------------------

namespace {

// A thread starter that cannot create a thread.
HANDLE NoThread(ThreadProc, LPVOID) {
    plat::SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

class ProgramRunTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        PutTableInfs();
        machine().PutFolder(kLogFolder);
    }
};

// How a run ends: what the exit code, the markers, the boxes, the trace and
// the log's last line say.
struct EndCase {
    const char* name;
    const char* arguments;
    void (*arrange)(sim::Machine&);
    int exitCode;
    Lines markers;
    std::vector<std::pair<UINT, std::string>> boxes;  // style and text, each with the program's caption
    Lines trace;       // its first lines, and "<end>" when that is all of it
    const char* last;  // the log's last line; nullptr when there is no log
    ThreadStarter worker = RunAtOnce;
    ThreadStarter dismisser = NeverRun;
    std::set<std::string> openedWithoutRedirection = {};  // the log's and its folder's, under WOW64
    bool redirectionLeftOff = false;                      // as a failed undoing leaves it
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class RunEndTest : public ProgramRunTest, public ::testing::WithParamInterface<EndCase> {};

// A handle another process still has keeps a lock left by a killed run in being.
HANDLE g_otherProcessHandle = nullptr;

void AddCard(sim::Machine& m) { m.AddDevice(Card()); }

// The 32-bit program on 64-bit Windows, with or without the 64-bit program
// beside it, which records how it was started and ends with 3010.
constexpr char kNative[] = "C:\\ZAN\\x64\\ZanDriverInstaller.exe";
std::string g_nativeStartedWith;
bool g_lockFreeForNative = false;
void Wow64(sim::Machine& m) { m.wow64 = true; }
void Wow64WithNative(sim::Machine& m) {
    m.wow64 = true;
    // It takes the 20 s of a full install's pauses: a hand-over must wait that long.
    m.AddProgram(
        kNative,
        [](const std::string& line) -> DWORD {
            g_nativeStartedWith = line;
            g_lockFreeForNative = !sim::TheMachine().MutexExists(kRunLockName);
            return 3010;
        },
        20000);
}
void AddFullMachine(sim::Machine& m) {
    for (const auto& device : {BaseDevice(), Card(), Port('C'), Port('D'), Port('E'), Port('F')}) m.AddDevice(device);
}

const char kRemoving[] = "**** Removing installed drivers ****";
const char kInstalling[] = "**** InstallTiDevice(), Installing Root Port USB Driver ****";
const char kRefused[] = "--> Refused: another run in progress";
const char kNotStarted[] = "The installer could not be started (error 5).\n\nNo drivers were changed.";
const char kUnopened[] = "--> Log file \"C:\\nowhere\\run.log\" could not be opened : GetLastError() = 00000003h";
const std::string kHandingOver = std::string("--> 32-bit program on 64-bit Windows, handing over to ") + kNative;
const char kNativeEnded[] = "--> 64-bit program ended with exit code 3010";
const char kNativeNotStarted[] = "--> Error starting the 64-bit program : 00000003h";
const std::set<std::string> kLogAndFolder{kLogFolder, kLog};
// The log's last lines.
const char kSucceeded[] = "Finished: RESULT.SUCCESS, exit code 0";
const char kRefusedLast[] = "Finished: another run in progress, exit code 1618";
const char kNotCompleted[] = "Finished: operation not completed, exit code 1";
const char kFailedLast[] = "Finished: RESULT.FAIL, exit code 1";

}  // namespace

TEST_P(RunEndTest, TellsItsEndAndHoldsTheLockThroughout) {
    const EndCase& c = GetParam();
    machine().PutFile(std::string(kWin) + "\\RESULT.SUCCESS");  // an earlier run's
    g_nativeStartedWith.clear();
    c.arrange(machine());
    const auto devices = DeviceIds();
    const auto infs = machine().ListFolder(std::string(kWin) + "\\INF");
    static bool heldThroughout;
    heldThroughout = true;
    machine().onSleep = [](DWORD) { heldThroughout = heldThroughout && sim::TheMachine().MutexOwnedHere(kRunLockName); };

    EXPECT_EQ(RunWholeProgram(c.arguments, true, c.worker, c.dismisser), c.exitCode);
    if (g_otherProcessHandle != nullptr) plat::CloseHandle(std::exchange(g_otherProcessHandle, nullptr));

    EXPECT_EQ(Markers(), c.markers);
    std::vector<Box> boxes;
    for (const auto& [type, text] : c.boxes) boxes.emplace_back(type, kCaption, text);
    EXPECT_EQ(Boxes(), boxes);
    EXPECT_EQ(markersAtBoxes, std::vector<Lines>(boxes.size()));  // the old ones go before a box
    Lines trace = Trace();
    Lines expected = c.trace;
    if (!expected.empty() && expected.back() == "<end>") {
        expected.pop_back();
    } else if (trace.size() > expected.size()) {
        trace.resize(expected.size());
    }
    EXPECT_EQ(trace, expected);
    // The log, each line with this process's ID: the first line, every trace line and the last; none without a last.
    EXPECT_EQ(LogTexts(machine().ReadWholeFile(kLog), "3172"),
              c.last == nullptr ? Lines{"<no log>"} : Join({{FirstLogLine(c.arguments)}, TraceAsLogged(), {c.last}}));
    const bool unattended = std::string(c.arguments).find("UNATTENDED") != std::string::npos;
    EXPECT_EQ(machine().errorMode.load(), unattended ? static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
                                                                         SEM_NOOPENFILEERRORBOX)
                                                     : 0u);  // no system box either
    EXPECT_FALSE(g_status.IsRunning());
    // The lock: held at every pause of the worker, given back once (not
    // again when that fails) and closed.
    // While the 64-bit program runs this process holds no lock; that program
    // gets the argument text, /LOG= included, unchanged.
    const bool refused = c.exitCode == 1618, handedOver = c.exitCode == 3010;
    if (handedOver) {
        EXPECT_EQ(g_nativeStartedWith, "\"" + std::string(kNative) + "\" " + c.arguments);
        EXPECT_TRUE(g_lockFreeForNative);
        EXPECT_EQ(machine().Calls("CreateMutexA"), 0);
    }
    EXPECT_TRUE(heldThroughout);
    EXPECT_EQ(machine().Calls("ReleaseMutex"), refused || handedOver ? 0 : 1);
    EXPECT_FALSE(g_lockOwnedAtRunEnd);
    EXPECT_TRUE(refused || !machine().MutexExists(kRunLockName));
    EXPECT_EQ(machine().OpenHandles().mutexes, 0);
    EXPECT_EQ(machine().OpenHandles().files, 0);
    EXPECT_EQ(machine().OpenedWithoutRedirection(), c.openedWithoutRedirection);
    EXPECT_EQ(machine().FsRedirectionOff(), c.redirectionLeftOff);
    if (refused || c.worker == NoThread || c.markers.empty()) {  // refused, not started, nothing asked: nothing done
        EXPECT_TRUE(Timeline().empty());
        EXPECT_EQ(DeviceIds(), devices);
        EXPECT_EQ(machine().ListFolder(std::string(kWin) + "\\INF"), infs);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, RunEndTest, ::testing::Values(
    EndCase{"RefusedByTheLock", "UNINSTALL UNATTENDED" WITH_LOG,
            [](sim::Machine& m) {
                AddFullMachine(m);
                m.PutFile(std::string(kWin) + "\\RESULT.FAIL");
                m.HoldMutexElsewhere(kRunLockName);
            },
            1618, {"RESULT.FAIL", "RESULT.SUCCESS"}, {}, {kRefused, "<end>"}, kRefusedLast},
    // Keywords in the log's path choose nothing: this is an install.
    EndCase{"Succeeded", "INSTALL \"/LOG=C:\\INSTALL logs\\UNINSTALL.txt\" UNATTENDED", AddFullMachine, 0,
            {"RESULT.SUCCESS"}, {}, {kInstalling}, kSucceeded},
    EndCase{"Failed", "INSTALL SILENT" WITH_LOG, [](sim::Machine&) {}, 1, {"RESULT.FAIL"},
            {{MB_OK, "An error was encountered while installing the drivers."}}, {kInstalling}, kFailedLast},
    // Keywords are case-sensitive; both old markers go, whatever the case of their names.
    EndCase{"NoOperation", "install SILENT" WITH_LOG,
            [](sim::Machine& m) { m.PutFile(std::string(kWin) + "\\result.fail"); }, 0, {}, {}, {"<end>"},
            "Finished: no operation, exit code 0"},
    EndCase{"LogNotOpened", "UNINSTALL /LOG=C:\\nowhere\\run.log", AddCard, 0, {"RESULT.SUCCESS"}, {},
            {kUnopened, kRemoving}, nullptr},
    EndCase{"WorkerNotStarted", "INSTALL SILENT" WITH_LOG, AddCard, 1, {"RESULT.FAIL"},
            {{MB_OK | MB_ICONERROR, kNotStarted}}, {kNotStarted, "\n", "<end>"}, kNotCompleted, NoThread},
    EndCase{"WorkerNotStartedUnattended", "INSTALL UNATTENDED" WITH_LOG, AddCard, 1, {"RESULT.FAIL"}, {},
            {kNotStarted, "\n", "<end>"}, kNotCompleted, NoThread},
    EndCase{"DismisserNotStarted", "UNINSTALL" WITH_LOG, AddCard, 0, {"RESULT.SUCCESS"}, {},
            {"The hardware wizard dismisser could not be started\n", kRemoving}, kSucceeded, RunAtOnce, NoThread},
    EndCase{"LockLeftByAKilledRun", "UNINSTALL" WITH_LOG,
            [](sim::Machine& m) {
                g_otherProcessHandle = plat::CreateMutexA(nullptr, FALSE, kRunLockName);
                m.HoldMutexElsewhere(kRunLockName);
                m.AbandonMutexElsewhere(kRunLockName);
            },
            0, {"RESULT.SUCCESS"}, {}, {"--> Run lock taken over from a run that ended without releasing it", kRemoving},
            kSucceeded},
    EndCase{"LockOfAnotherAccount", "UNINSTALL" WITH_LOG,
            [](sim::Machine& m) { m.FailNext("CreateMutexA", ERROR_ACCESS_DENIED); }, 1618, {"RESULT.SUCCESS"}, {},
            {"--> Run lock could not be opened : GetLastError() = 00000005h", kRefused, "<end>"}, kRefusedLast},
    EndCase{"LockNotGivenBack", "UNINSTALL" WITH_LOG,
            [](sim::Machine& m) { m.FailNext("ReleaseMutex", ERROR_NOT_OWNER); }, 0, {"RESULT.SUCCESS"}, {},
            {kRemoving}, kSucceeded},
    // The 32-bit program on 64-bit Windows hands over, its log with its own
    // first and last line around the hand-over, opened (and its folder
    // checked) past the redirection of System32 as the 64-bit program opens
    // it; nothing else is. One that cannot be started fails the run like an
    // operation, once the lock is held; unattended, not even with a box.
    EndCase{"HandedOver", "INSTALL UNATTENDED" WITH_LOG, Wow64WithNative, 3010, {"RESULT.SUCCESS"}, {},
            {kHandingOver, kNativeEnded, "<end>"}, "Finished: handed over to the 64-bit program, exit code 3010",
            RunAtOnce, NeverRun, kLogAndFolder},
    EndCase{"NothingToHandOverTo", "INSTALL UNATTENDED" WITH_LOG, Wow64, 1, {"RESULT.FAIL"}, {},
            {kHandingOver, kNativeNotStarted, "<end>"}, kFailedLast, RunAtOnce, NeverRun, kLogAndFolder},
    EndCase{"NothingToHandOverToLockHeld", "INSTALL UNATTENDED" WITH_LOG,
            [](sim::Machine& m) { Wow64(m); m.HoldMutexElsewhere(kRunLockName); }, 1618, {"RESULT.SUCCESS"}, {},
            {kHandingOver, kNativeNotStarted, kRefused, "<end>"}, kRefusedLast, RunAtOnce, NeverRun, kLogAndFolder},
    // The redirection is undone, and the failed open's own code traced,
    // whether or not the undoing succeeds.
    EndCase{"HandedOverLogNotOpened", "INSTALL UNATTENDED /LOG=C:\\nowhere\\run.log", Wow64WithNative, 3010,
            {"RESULT.SUCCESS"}, {}, {kUnopened, kHandingOver, kNativeEnded, "<end>"}, nullptr, RunAtOnce, NeverRun,
            {"C:\\nowhere\\run.log"}},
    EndCase{"HandedOverRedirectionNotUndone", "INSTALL UNATTENDED /LOG=C:\\nowhere\\run.log",
            [](sim::Machine& m) { Wow64WithNative(m); m.FailNext("Wow64RevertWow64FsRedirection", 87); }, 3010,
            {"RESULT.SUCCESS"}, {}, {kUnopened, kHandingOver, kNativeEnded, "<end>"}, nullptr, RunAtOnce, NeverRun,
            {"C:\\nowhere\\run.log"}, true}),
    [](const ::testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

// The 64-bit program never hands over, whatever the system says.
TEST_F(ProgramRunTest, WithoutLOGNoFileIsWrittenAndNoLineTracedBeyondTheRunsOwn) {
    AddPosDevices(true, "CDEF");
    machine().wow64 = true;
    EXPECT_EQ(RunWholeProgram("UNINSTALL", false), 0);
    const Lines withProgram = Trace();
    EXPECT_EQ(machine().Calls("WriteFile"), 0);
    EXPECT_EQ(machine().Calls("GetLocalTime"), 0);
    EXPECT_EQ(machine().Calls("SetErrorMode"), 0);
    EXPECT_TRUE(machine().ListFolder(kLogFolder).empty());

    SetUp();
    AddPosDevices(true, "CDEF");
    EXPECT_EQ(Run("UNINSTALL"), RunOutcome::Succeeded);

    EXPECT_EQ(withProgram, Trace());
}

// --- Restart needs ---------------------------------------------------------------------

namespace {

enum Restart : unsigned {
    None = 0,
    FromDriverUpdates = 1,  // every successful driver update says a restart is needed
    FromCardRemoval = 2,    // the card's removal leaves DI_NEEDREBOOT
    FromBaseRemoval = 4,    // the base device's removal leaves DI_NEEDRESTART
};

struct RestartCase {
    const char* name;
    const char* arguments;
    unsigned restart;
    const char* ports;     // the ports the machine has
    const char* failing = nullptr;   // "SetupDiRemoveDevice" fails once the base device is removed, or an operation failing for good
    int exitCode;
    int restartLines;      // "----> Restart needed ..." lines traced
    bool asked;            // the driver updates were given the restart output, install parameters were read
};

void PrintTo(const RestartCase& c, std::ostream* os) { *os << c.name; }

class RestartTest : public ProgramRunTest, public ::testing::WithParamInterface<RestartCase> {};

}  // namespace

TEST_P(RestartTest, AnUnattendedRunReportsARestartNeedThroughItsExitCodeOthersLeaveItToTheSystem) {
    const RestartCase& c = GetParam();
    machine().driverUpdateNeedsRestart = (c.restart & FromDriverUpdates) != 0;
    sim::Device base = BaseDevice();
    sim::Device card = Card();
    if (c.restart & FromBaseRemoval) base.installFlagsOnRemoval = DI_NEEDRESTART;
    if (c.restart & FromCardRemoval) card.installFlagsOnRemoval = DI_NEEDREBOOT;
    machine().AddDevice(base);
    machine().AddDevice(card);
    for (const char* letter = c.ports; *letter != '\0'; ++letter) machine().AddDevice(Port(*letter));
    if (c.failing != nullptr && std::string(c.failing) == "SetupDiRemoveDevice") {
        // The pause after the base device's "[OK]" is the third of the pass.
        static int sleeps;
        sleeps = 0;
        machine().onSleep = [](DWORD) {
            if (++sleeps == 3) sim::TheMachine().FailNext("SetupDiRemoveDevice", ERROR_ACCESS_DENIED);
        };
    } else if (c.failing != nullptr) {
        machine().FailAlways(c.failing, ERROR_ACCESS_DENIED);
    }

    EXPECT_EQ(RunWholeProgram(c.arguments), c.exitCode);

    int lines = 0;
    for (const std::string& line : Trace()) lines += line.rfind("----> Restart needed to complete the ", 0) == 0;
    EXPECT_EQ(lines, c.restartLines);
    for (const auto& call : machine().DriverUpdates()) EXPECT_EQ(call.restartOutput, c.asked) << call.hardwareId;
    if (!c.asked) EXPECT_EQ(machine().Calls("SetupDiGetDeviceInstallParamsA"), 0);
    if (c.failing != nullptr && std::string(c.failing) == "SetupDiGetDeviceInstallParamsA") {
        EXPECT_TRUE(TraceHas("----> Install parameters not read : GetLastError() = 00000005h"));
    }
    EXPECT_EQ(Markers(), Lines{c.exitCode == 1 ? "RESULT.FAIL" : "RESULT.SUCCESS"});
    EXPECT_TRUE(machine().MessageBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Runs, RestartTest, ::testing::Values(
    RestartCase{.name = "UnattendedInstall", .arguments = "INSTALL UNATTENDED", .restart = FromDriverUpdates,
                .ports = "C", .exitCode = 3010, .restartLines = 2, .asked = true},
    RestartCase{.name = "UnattendedInstallWithoutNeed", .arguments = "INSTALL UNATTENDED", .restart = None,
                .ports = "C", .exitCode = 0, .restartLines = 0, .asked = true},
    // Port D is missing: its row fails after the card and Serial Port C asked for a restart.
    RestartCase{.name = "UnattendedInstallFailingAfterANeed", .arguments = "INSTALL UNATTENDED MAROVEL_SERIAL",
                .restart = FromDriverUpdates, .ports = "CEF", .exitCode = 1, .restartLines = 2, .asked = true},
    RestartCase{.name = "SilentInstall", .arguments = "INSTALL SILENT", .restart = FromDriverUpdates, .ports = "C",
                .exitCode = 0, .restartLines = 0, .asked = false},
    RestartCase{.name = "UnattendedUninstall", .arguments = "UNINSTALL UNATTENDED", .restart = FromCardRemoval,
                .ports = "", .exitCode = 3010, .restartLines = 1, .asked = true},
    RestartCase{.name = "UnattendedUninstallBothNeeds", .arguments = "UNINSTALL UNATTENDED",
                .restart = FromCardRemoval | FromBaseRemoval, .ports = "", .exitCode = 3010, .restartLines = 2,
                .asked = true},
    // A later removal without a need leaves the earlier need standing.
    RestartCase{.name = "UnattendedUninstallEarlierNeed", .arguments = "UNINSTALL UNATTENDED",
                .restart = FromBaseRemoval, .ports = "", .exitCode = 3010, .restartLines = 1, .asked = true},
    RestartCase{.name = "UnattendedUninstallFailingAfterANeed", .arguments = "UNINSTALL UNATTENDED",
                .restart = FromBaseRemoval, .ports = "", .failing = "SetupDiRemoveDevice", .exitCode = 1,
                .restartLines = 1, .asked = true},
    RestartCase{.name = "UnattendedUninstallUnreadableParameters", .arguments = "UNINSTALL UNATTENDED",
                .restart = FromCardRemoval, .ports = "", .failing = "SetupDiGetDeviceInstallParamsA", .exitCode = 0,
                .restartLines = 0, .asked = true},
    RestartCase{.name = "SilentUninstall", .arguments = "UNINSTALL SILENT",
                .restart = FromCardRemoval | FromBaseRemoval, .ports = "", .exitCode = 0, .restartLines = 0,
                .asked = false}),
    [](const ::testing::TestParamInfo<RestartCase>& info) { return std::string(info.param.name); });

