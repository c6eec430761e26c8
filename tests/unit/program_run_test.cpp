// A run of the program around its window on the simulated machine: the lock
// that lets one run at a time change the machine, and the log that records a
// run from its first line to its exit code.
#include "machine_fixture.h"
#include "platform/trace.h"
#include "run/program_run.h"
#include "run/worker_run.h"

#include <regex>
#include <thread>

using namespace pos;
using Lines = std::vector<std::string>;

namespace {

constexpr char kLogFolder[] = "C:\\INSTALL logs";
constexpr char kLog[] = "C:\\INSTALL logs\\UNINSTALL.txt";

// --- The lock --------------------------------------------------------------------------

struct LockCase {
    const char* name;
    void (*arrange)(sim::Machine&);
    RunLock::Result result;
    Lines trace;
};

void PrintTo(const LockCase& c, std::ostream* os) { *os << c.name; }

class RunLockTest : public MachineTest, public ::testing::WithParamInterface<LockCase> {};

}  // namespace

TEST_P(RunLockTest, TakesTheLockOrSaysWhyNot) {
    // A handle of this test's own keeps the mutex in being whatever the case does.
    HANDLE observer = plat::CreateMutexA(nullptr, FALSE, kRunLockName);
    GetParam().arrange(machine());
    {
        RunLock lock;
        EXPECT_EQ(lock.Take(), GetParam().result);
        EXPECT_EQ(Trace(), GetParam().trace);
        EXPECT_EQ(machine().MutexOwnedHere(kRunLockName), GetParam().result == RunLock::Result::Taken);
    }
    EXPECT_FALSE(machine().MutexOwnedHere(kRunLockName));
    EXPECT_EQ(machine().OpenHandles().mutexes, 1);  // the observer's alone
    plat::CloseHandle(observer);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunLockTest,
    ::testing::Values(
        LockCase{"Free", [](sim::Machine&) {}, RunLock::Result::Taken, {}},
        LockCase{"HeldByAnotherRun", [](sim::Machine& m) { m.HoldMutexElsewhere(kRunLockName); },
                 RunLock::Result::Refused, {"--> Refused: another run in progress"}},
        LockCase{"HeldByARunOfAnotherAccount",
                 [](sim::Machine& m) { m.FailNext("CreateMutexA", ERROR_ACCESS_DENIED); }, RunLock::Result::Refused,
                 {"--> Run lock could not be opened : GetLastError() = 00000005h",
                  "--> Refused: another run in progress"}},
        LockCase{"LeftByARunThatDied",
                 [](sim::Machine& m) {
                     m.HoldMutexElsewhere(kRunLockName);
                     m.AbandonMutexElsewhere(kRunLockName);
                 },
                 RunLock::Result::Taken, {"--> Run lock taken over from a run that ended without releasing it"}},
        LockCase{"NotCreated", [](sim::Machine& m) { m.FailNext("CreateMutexA", ERROR_INVALID_HANDLE); },
                 RunLock::Result::Unavailable, {"--> Run lock not available : GetLastError() = 00000006h"}},
        LockCase{"NotWaitedFor", [](sim::Machine& m) { m.FailNext("WaitForSingleObject", ERROR_INVALID_HANDLE); },
                 RunLock::Result::Unavailable, {"--> Run lock not available : GetLastError() = 00000006h"}}),
    [](const ::testing::TestParamInfo<LockCase>& info) { return std::string(info.param.name); });

TEST_F(MachineTest, ALockHeldByOneThreadRefusesAnotherUntilGivenBack) {
    RunLock held;
    ASSERT_EQ(held.Take(), RunLock::Result::Taken);
    RunLock::Result other = RunLock::Result::Taken;
    std::thread([&] { other = RunLock().Take(); }).join();
    EXPECT_EQ(other, RunLock::Result::Refused);

    held.Release();
    std::thread([&] { other = RunLock().Take(); }).join();
    EXPECT_EQ(other, RunLock::Result::Taken);
    EXPECT_FALSE(machine().MutexExists(kRunLockName));
}

// --- The run around the window --------------------------------------------------------

namespace {

class ProgramRunTest : public MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        PutTableInfs();
        machine().PutFolder(kLogFolder);
    }
    void TearDown() override {
        SetTraceSink(nullptr, nullptr);
        MachineTest::TearDown();
    }

    // The program's run as the 32-bit program makes it (its hand-over does
    // nothing unless the machine is made 64-bit Windows), with a window step
    // that starts the worker and lets it run to its end at once.
    int RunProgram(const std::string& argumentText) {
        ProgramRun run(argumentText.c_str());
        return ::RunProgram(run, true, [](ProgramRun& r) {
            const auto runAtOnce = [](ThreadProc proc, LPVOID param) -> HANDLE {
                proc(param);
                return reinterpret_cast<HANDLE>(1);
            };
            return StartWorker(g_status, runAtOnce, &r.Worker()) != nullptr;
        });
    }

    // The log's lines without their time and process; each checked for that prefix.
    Lines LogTexts() {
        const auto text = machine().ReadWholeFile(kLog);
        if (!text) return {"<no log>"};
        static const std::regex prefix(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} 3172 )");
        Lines lines;
        std::size_t start = 0;
        for (std::size_t end; (end = text->find("\r\n", start)) != std::string::npos; start = end + 2) {
            const std::string line = text->substr(start, end - start);
            std::smatch match;
            if (!std::regex_search(line, match, prefix)) return {"<bad line> " + line};
            lines.push_back(match.suffix());
        }
        if (start != text->size()) lines.push_back("<unterminated> " + text->substr(start));
        return lines;
    }

    // The trace as the log writes it: line breaks escaped.
    Lines TraceAsLogged() const {
        Lines lines;
        for (std::string line : Trace()) {
            for (std::size_t at; (at = line.find('\n')) != std::string::npos;) line.replace(at, 1, "\\n");
            lines.push_back(line);
        }
        return lines;
    }

    std::vector<std::string> Devices() const {
        std::vector<std::string> ids;
        for (const auto& device : sim::TheMachine().Devices()) ids.push_back(device.instanceId);
        return ids;
    }
};

Lines Concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace

TEST_F(ProgramRunTest, ARunRefusedByTheLockTouchesNothingAndEndsWith1618) {
    AddPosDevices(true, "CDEF");
    machine().PutFile(std::string(kWin) + "\\RESULT.SUCCESS");
    machine().PutFile(std::string(kWin) + "\\RESULT.FAIL");
    const auto devices = Devices();
    const auto infs = machine().ListFolder(std::string(kWin) + "\\INF");
    machine().HoldMutexElsewhere(kRunLockName);
    const std::string arguments = "UNINSTALL UNATTENDED /LOG=\"" + std::string(kLog) + "\"";

    EXPECT_EQ(RunProgram(arguments), 1618);

    EXPECT_EQ(Markers(), (Lines{"RESULT.FAIL", "RESULT.SUCCESS"}));
    EXPECT_EQ(Devices(), devices);
    EXPECT_EQ(machine().ListFolder(std::string(kWin) + "\\INF"), infs);
    EXPECT_TRUE(machine().MessageBoxes().empty());
    EXPECT_TRUE(Timeline().empty());
    EXPECT_EQ(Trace(), Lines{"--> Refused: another run in progress"});
    EXPECT_EQ(LogTexts(), (Lines{"ZanDriverInstaller 1.0.0.1 x64, arguments \"" + arguments + "\"",
                                 "--> Refused: another run in progress",
                                 "Finished: another run in progress, exit code 1618"}));
}

TEST_F(ProgramRunTest, TheLogHoldsEveryTraceLineOfTheRunAndTheLockIsHeldUntilItsEnd) {
    AddPosDevices(true, "C");
    static bool heldThroughout;
    heldThroughout = true;
    machine().onSleep = [](DWORD) { heldThroughout = heldThroughout && sim::TheMachine().MutexOwnedHere(kRunLockName); };
    // Keywords in the log's path choose nothing: this is an install.
    const std::string arguments = "INSTALL \"/LOG=" + std::string(kLog) + "\" UNATTENDED";

    EXPECT_EQ(RunProgram(arguments), 0);

    EXPECT_TRUE(heldThroughout);
    EXPECT_EQ(machine().errorMode.load(), static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
                                                            SEM_NOOPENFILEERRORBOX));  // no system box either
    EXPECT_FALSE(machine().MutexExists(kRunLockName));
    EXPECT_EQ(machine().OpenHandles().mutexes, 0);
    EXPECT_EQ(machine().OpenHandles().files, 0);
    EXPECT_TRUE(TraceHas("**** InstallTiDevice(), Installing Root Port USB Driver ****"));
    EXPECT_EQ(LogTexts(), Concat({{"ZanDriverInstaller 1.0.0.1 x64, arguments \"" + arguments + "\""},
                                  TraceAsLogged(),
                                  {"Finished: RESULT.SUCCESS, exit code 0"}}));
    EXPECT_EQ(Markers(), Lines{"RESULT.SUCCESS"});
}

TEST_F(ProgramRunTest, WithoutLOGNoFileIsWrittenAndNoLineTracedBeyondTheRunsOwn) {
    AddPosDevices(true, "CDEF");
    EXPECT_EQ(RunProgram("UNINSTALL"), 0);
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

TEST_F(ProgramRunTest, ALogThatCannotBeOpenedIsTracedAndTheRunGoesOn) {
    AddPosDevices(true, "");
    EXPECT_EQ(RunProgram("UNINSTALL /LOG=C:\\nowhere\\run.log"), 0);

    EXPECT_EQ(Trace().front(), "--> Log file \"C:\\nowhere\\run.log\" could not be opened : GetLastError() = 00000003h");
    EXPECT_TRUE(TraceHas("**** Removing installed drivers ****"));
    EXPECT_EQ(Markers(), Lines{"RESULT.SUCCESS"});
}

// The 32-bit program on 64-bit Windows: while the 64-bit program runs this
// process holds no lock, and its log has its own first and last line around
// the hand-over; the argument text, /LOG= included, reaches that program
// unchanged. One that cannot be started fails the run like an operation,
// once the lock is held.
TEST_F(ProgramRunTest, TheHandOverTakesNoLockWhileTheSixtyFourBitProgramRunsAndFailsLikeAnOperationOtherwise) {
    const std::string native = "C:\\ZAN\\x64\\ZanDriverInstaller.exe";
    const std::string handingOver = "--> 32-bit program on 64-bit Windows, handing over to " + native;
    const std::string arguments = "INSTALL UNATTENDED /LOG=\"" + std::string(kLog) + "\"";
    const std::string header = "ZanDriverInstaller 1.0.0.1 x64, arguments \"" + arguments + "\"";
    struct Case {
        const char* name;
        bool nativeProgram;  // x64\ZanDriverInstaller.exe is there
        bool heldElsewhere;  // another run holds the lock
        int exitCode;
        Lines markers;
        Lines log;
    };
    const Case cases[] = {
        {"ran", true, false, 3010, {"RESULT.SUCCESS"},
         {header, handingOver, "--> 64-bit program ended with exit code 3010",
          "Finished: handed over to the 64-bit program, exit code 3010"}},
        {"missing", false, false, 1, {"RESULT.FAIL"},
         {header, handingOver, "--> Error starting the 64-bit program : 00000003h", "Finished: RESULT.FAIL, exit code 1"}},
        {"missing, lock held", false, true, 1618, {"RESULT.SUCCESS"},
         {header, handingOver, "--> Error starting the 64-bit program : 00000003h",
          "--> Refused: another run in progress", "Finished: another run in progress, exit code 1618"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        machine().wow64 = true;
        machine().SetModulePath("C:\\ZAN\\ZanDriverInstaller.exe");
        machine().PutFile(std::string(kWin) + "\\RESULT.SUCCESS");
        if (c.heldElsewhere) machine().HoldMutexElsewhere(kRunLockName);
        std::string commandLine;
        bool lockFreeForIt = false;
        if (c.nativeProgram) {
            machine().AddProgram(native, [&](const std::string& line) -> DWORD {
                commandLine = line;
                lockFreeForIt = !sim::TheMachine().MutexExists(kRunLockName);
                return 3010;
            });
        }

        EXPECT_EQ(RunProgram(arguments), c.exitCode);

        EXPECT_EQ(Markers(), c.markers);
        EXPECT_TRUE(machine().MessageBoxes().empty());  // unattended: not even the hand-over's box
        EXPECT_EQ(LogTexts(), c.log);
        if (c.nativeProgram) {
            EXPECT_EQ(commandLine, "\"" + native + "\" " + arguments);
            EXPECT_TRUE(lockFreeForIt);
            EXPECT_EQ(machine().Calls("CreateMutexA"), 0);
        }
        EXPECT_FALSE(machine().MutexOwnedHere(kRunLockName));
        // The log is opened (and its folder checked) past the redirection of
        // System32, as the 64-bit program opens it; nothing else is.
        EXPECT_EQ(machine().OpenedWithoutRedirection(), (std::set<std::string>{"C:\\INSTALL logs", kLog}));
        EXPECT_FALSE(machine().FsRedirectionOff());
    }
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
    const char* failing;   // "SetupDiRemoveDevice" fails once the base device is removed, or an operation failing for good
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

    EXPECT_EQ(RunProgram(c.arguments), c.exitCode);

    int lines = 0;
    for (const std::string& line : Trace()) lines += line.rfind("----> Restart needed to complete the ", 0) == 0;
    EXPECT_EQ(lines, c.restartLines);
    for (const auto& call : machine().DriverUpdates()) EXPECT_EQ(call.restartOutput, c.asked) << call.hardwareId;
    if (!c.asked) {
        EXPECT_EQ(machine().Calls("SetupDiGetDeviceInstallParamsA"), 0);
    }
    if (c.failing != nullptr && std::string(c.failing) == "SetupDiGetDeviceInstallParamsA") {
        EXPECT_TRUE(TraceHas("----> Install parameters not read : GetLastError() = 00000005h"));
    }
    EXPECT_EQ(Markers(), Lines{c.exitCode == 1 ? "RESULT.FAIL" : "RESULT.SUCCESS"});
    EXPECT_TRUE(machine().MessageBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RestartTest,
    ::testing::Values(
        RestartCase{"UnattendedInstall", "INSTALL UNATTENDED", FromDriverUpdates, "C", nullptr, 3010, 2, true},
        RestartCase{"UnattendedInstallWithoutNeed", "INSTALL UNATTENDED", None, "C", nullptr, 0, 0, true},
        // Port D is missing: its row fails after the card and Serial Port C asked for a restart.
        RestartCase{"UnattendedInstallFailingAfterANeed", "INSTALL UNATTENDED MAROVEL_SERIAL", FromDriverUpdates, "CEF",
                    nullptr, 1, 2, true},
        RestartCase{"SilentInstall", "INSTALL SILENT", FromDriverUpdates, "C", nullptr, 0, 0, false},
        RestartCase{"UnattendedUninstall", "UNINSTALL UNATTENDED", FromCardRemoval, "", nullptr, 3010, 1, true},
        RestartCase{"UnattendedUninstallBothNeeds", "UNINSTALL UNATTENDED", FromCardRemoval | FromBaseRemoval, "",
                    nullptr, 3010, 2, true},
        RestartCase{"UnattendedUninstallFailingAfterANeed", "UNINSTALL UNATTENDED", FromBaseRemoval, "",
                    "SetupDiRemoveDevice", 1, 1, true},
        RestartCase{"UnattendedUninstallUnreadableParameters", "UNINSTALL UNATTENDED", FromCardRemoval, "",
                    "SetupDiGetDeviceInstallParamsA", 0, 0, true},
        RestartCase{"SilentUninstall", "UNINSTALL SILENT", FromCardRemoval | FromBaseRemoval, "", nullptr, 0, 0,
                    false}),
    [](const ::testing::TestParamInfo<RestartCase>& info) { return std::string(info.param.name); });

