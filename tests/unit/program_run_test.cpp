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
    void (*arrange)(sim::Machine&) = [](sim::Machine&) {};  // the machine besides the table's INFs
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
    EndCase{.name = "RefusedByTheLock", .arguments = "UNINSTALL UNATTENDED" WITH_LOG,
            .arrange = [](sim::Machine& m) {
                AddFullMachine(m);
                m.PutFile(std::string(kWin) + "\\RESULT.FAIL");
                m.HoldMutexElsewhere(kRunLockName);
            },
            .exitCode = 1618, .markers = {"RESULT.FAIL", "RESULT.SUCCESS"}, .trace = {kRefused, "<end>"},
            .last = kRefusedLast},
    // Keywords in the log's path choose nothing: this is an install.
    EndCase{.name = "Succeeded", .arguments = "INSTALL \"/LOG=C:\\INSTALL logs\\UNINSTALL.txt\" UNATTENDED",
            .arrange = AddFullMachine, .exitCode = 0, .markers = {"RESULT.SUCCESS"}, .trace = {kInstalling},
            .last = kSucceeded},
    EndCase{.name = "Failed", .arguments = "INSTALL SILENT" WITH_LOG, .exitCode = 1, .markers = {"RESULT.FAIL"},
            .boxes = {{MB_OK, "An error was encountered while installing the drivers."}}, .trace = {kInstalling},
            .last = kFailedLast},
    // Keywords are case-sensitive; both old markers go, whatever the case of their names.
    EndCase{.name = "NoOperation", .arguments = "install SILENT" WITH_LOG,
            .arrange = [](sim::Machine& m) { m.PutFile(std::string(kWin) + "\\result.fail"); }, .exitCode = 0,
            .markers = {}, .trace = {"<end>"}, .last = "Finished: no operation, exit code 0"},
    EndCase{.name = "LogNotOpened", .arguments = "UNINSTALL /LOG=C:\\nowhere\\run.log", .arrange = AddCard,
            .exitCode = 0, .markers = {"RESULT.SUCCESS"}, .trace = {kUnopened, kRemoving}, .last = nullptr},
    EndCase{.name = "WorkerNotStarted", .arguments = "INSTALL SILENT" WITH_LOG, .arrange = AddCard, .exitCode = 1,
            .markers = {"RESULT.FAIL"}, .boxes = {{MB_OK | MB_ICONERROR, kNotStarted}},
            .trace = {kNotStarted, "\n", "<end>"}, .last = kNotCompleted, .worker = NoThread},
    EndCase{.name = "WorkerNotStartedUnattended", .arguments = "INSTALL UNATTENDED" WITH_LOG, .arrange = AddCard,
            .exitCode = 1, .markers = {"RESULT.FAIL"}, .trace = {kNotStarted, "\n", "<end>"}, .last = kNotCompleted,
            .worker = NoThread},
    EndCase{.name = "DismisserNotStarted", .arguments = "UNINSTALL" WITH_LOG, .arrange = AddCard, .exitCode = 0,
            .markers = {"RESULT.SUCCESS"}, .trace = {"The hardware wizard dismisser could not be started\n", kRemoving},
            .last = kSucceeded, .dismisser = NoThread},
    EndCase{.name = "LockLeftByAKilledRun", .arguments = "UNINSTALL" WITH_LOG,
            .arrange = [](sim::Machine& m) {
                g_otherProcessHandle = plat::CreateMutexA(nullptr, FALSE, kRunLockName);
                m.HoldMutexElsewhere(kRunLockName);
                m.AbandonMutexElsewhere(kRunLockName);
            },
            .exitCode = 0, .markers = {"RESULT.SUCCESS"},
            .trace = {"--> Run lock taken over from a run that ended without releasing it", kRemoving},
            .last = kSucceeded},
    EndCase{.name = "LockOfAnotherAccount", .arguments = "UNINSTALL" WITH_LOG,
            .arrange = [](sim::Machine& m) { m.FailNext("CreateMutexA", ERROR_ACCESS_DENIED); }, .exitCode = 1618,
            .markers = {"RESULT.SUCCESS"},
            .trace = {"--> Run lock could not be opened : GetLastError() = 00000005h", kRefused, "<end>"},
            .last = kRefusedLast},
    EndCase{.name = "LockNotGivenBack", .arguments = "UNINSTALL" WITH_LOG,
            .arrange = [](sim::Machine& m) { m.FailNext("ReleaseMutex", ERROR_NOT_OWNER); }, .exitCode = 0,
            .markers = {"RESULT.SUCCESS"}, .trace = {kRemoving}, .last = kSucceeded},
    // The 32-bit program on 64-bit Windows hands over, its log with its own
    // first and last line around the hand-over, opened (and its folder
    // checked) past the redirection of System32 as the 64-bit program opens
    // it; nothing else is. One that cannot be started fails the run like an
    // operation, once the lock is held; unattended, not even with a box.
    EndCase{.name = "HandedOver", .arguments = "INSTALL UNATTENDED" WITH_LOG, .arrange = Wow64WithNative,
            .exitCode = 3010, .markers = {"RESULT.SUCCESS"}, .trace = {kHandingOver, kNativeEnded, "<end>"},
            .last = "Finished: handed over to the 64-bit program, exit code 3010",
            .openedWithoutRedirection = kLogAndFolder},
    EndCase{.name = "NothingToHandOverTo", .arguments = "INSTALL UNATTENDED" WITH_LOG, .arrange = Wow64,
            .exitCode = 1, .markers = {"RESULT.FAIL"}, .trace = {kHandingOver, kNativeNotStarted, "<end>"},
            .last = kFailedLast, .openedWithoutRedirection = kLogAndFolder},
    EndCase{.name = "NothingToHandOverToLockHeld", .arguments = "INSTALL UNATTENDED" WITH_LOG,
            .arrange = [](sim::Machine& m) { Wow64(m); m.HoldMutexElsewhere(kRunLockName); }, .exitCode = 1618,
            .markers = {"RESULT.SUCCESS"}, .trace = {kHandingOver, kNativeNotStarted, kRefused, "<end>"},
            .last = kRefusedLast, .openedWithoutRedirection = kLogAndFolder},
    // The redirection is undone, and the failed open's own code traced,
    // whether or not the undoing succeeds.
    EndCase{.name = "HandedOverLogNotOpened", .arguments = "INSTALL UNATTENDED /LOG=C:\\nowhere\\run.log",
            .arrange = Wow64WithNative, .exitCode = 3010, .markers = {"RESULT.SUCCESS"},
            .trace = {kUnopened, kHandingOver, kNativeEnded, "<end>"}, .last = nullptr,
            .openedWithoutRedirection = {"C:\\nowhere\\run.log"}},
    EndCase{.name = "HandedOverRedirectionNotUndone", .arguments = "INSTALL UNATTENDED /LOG=C:\\nowhere\\run.log",
            .arrange = [](sim::Machine& m) { Wow64WithNative(m); m.FailNext("Wow64RevertWow64FsRedirection", 87); },
            .exitCode = 3010, .markers = {"RESULT.SUCCESS"}, .trace = {kUnopened, kHandingOver, kNativeEnded, "<end>"},
            .last = nullptr, .openedWithoutRedirection = {"C:\\nowhere\\run.log"}, .redirectionLeftOff = true}),
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

