// The progress window's timer tick, its start of the worker and the process
// exit code, without the window: the tick gets the text the status line held
// when read back, as the window reads it into its 80-byte buffer.
#include "machine_fixture.h"

namespace {

struct TickCase {
    const char* line;    // the board's line
    const char* result;  // appended to it, or nullptr
    bool running;
    std::string shown;   // what the status line held when read back
    ProgressTick::Action action;
    std::string text;    // the text a SetText tick carries
};

}  // namespace

TEST(ProgressTick, CopiesTheLineOnlyWhenItDiffersExactlyAndClosesOnceTheWorkerEnded) {
    const std::string install = "Installing ZAN 7350-21x Base Device...";
    const std::string fits(79, 'x');
    const std::string tooLong = std::string(80, 'y') + "...[Failed]";
    // A line of 80 characters or more never reads back whole: written again on every tick.
    const std::string tooLongShown = tooLong.substr(0, kStatusReadBackSize - 1);
    const TickCase cases[] = {
        // The first tick replaces the initial text with the board's still empty line.
        {"", nullptr, true, "Checking for previously installed drivers...", ProgressTick::SetText, ""},
        {install.c_str(), nullptr, true, install, ProgressTick::Keep, ""},
        {install.c_str(), nullptr, true, "installing ZAN 7350-21x Base Device...", ProgressTick::SetText, install},
        {install.c_str(), nullptr, true, "Installing ZAN 7350-21x Base Device", ProgressTick::SetText, install},
        {install.c_str(), "[OK]", true, install, ProgressTick::SetText, install + "[OK]"},
        {fits.c_str(), nullptr, true, fits, ProgressTick::Keep, ""},
        {tooLong.c_str(), nullptr, true, tooLongShown, ProgressTick::SetText, tooLong},
        // Whatever the text, once the worker lowered its flag.
        {"Uninstall Complete!", nullptr, false, "Removing ZAN 7350-21x Base Device...", ProgressTick::Close, ""},
        {"Uninstall Complete!", nullptr, false, "Uninstall Complete!", ProgressTick::Close, ""},
    };
    for (const TickCase& c : cases) {
        SCOPED_TRACE(c.shown);
        StatusBoard board;
        board.SetLine("%s", c.line);
        if (c.result != nullptr) board.AppendResult(c.result);
        board.SetRunning(c.running);

        const ProgressTick tick = DecideProgressTick(c.shown.c_str(), board);

        EXPECT_EQ(tick.action, c.action);
        if (c.action == ProgressTick::SetText) {
            EXPECT_EQ(tick.text, c.text);
        }
    }
}

// Starting the worker, with the real worker on the simulated machine: the
// starter below only records the thread's procedure, so the test decides when
// the "thread" runs.
namespace {

ThreadProc g_startedProc = nullptr;
LPVOID g_startedParam = nullptr;
int g_fakeThread = 0;

HANDLE RecordingStarter(ThreadProc proc, LPVOID param) {
    g_startedProc = proc;
    g_startedParam = param;
    return &g_fakeThread;
}

}  // namespace

using pos::MachineTest;

TEST_F(MachineTest, TicksBeforeTheWorkerHasRunKeepTheWindowAndTheTickAfterItEndsClosesIt) {
    PutTableInfs();
    ProgramRun run("UNINSTALL");

    EXPECT_EQ(StartWorker(g_status, RecordingStarter, &run.Worker()), static_cast<HANDLE>(&g_fakeThread));
    EXPECT_EQ(g_startedParam, &run.Worker());

    // The worker has not taken a step yet, however many ticks pass; a window
    // that ended now would fail the run.
    for (int tick = 0; tick < 3; ++tick)
        EXPECT_NE(DecideProgressTick("Checking for previously installed drivers...", g_status).action,
                  ProgressTick::Close);
    run.WorkerEnded(true, g_status);
    EXPECT_EQ(run.Finish(), 1);

    // The thread runs the worker with the choices it was given.
    ASSERT_NE(g_startedProc, nullptr);
    g_startedProc(g_startedParam);
    EXPECT_EQ(run.Worker().outcome, RunOutcome::Succeeded);
    EXPECT_TRUE(TraceHas("**** Removing installed drivers ****"));
    EXPECT_EQ(Markers(), std::vector<std::string>{"RESULT.SUCCESS"});
    EXPECT_EQ(DecideProgressTick("Uninstall Complete!", g_status).action, ProgressTick::Close);
    run.WorkerEnded(true, g_status);
    EXPECT_EQ(run.Finish(), 0);
}

// A worker that did not run to its end fails the run, whatever its result
// says. (Every other end's exit code is asserted by the whole runs.)
TEST(ExitCode, IsAFailureWhenTheWorkerDidNotRunToItsEnd) {
    StatusBoard board;
    board.SetRunning(true);
    ProgramRun run("");
    run.Worker().outcome = RunOutcome::Succeeded;
    run.Worker().restartNeeded = true;
    run.WorkerEnded(true, board);
    EXPECT_EQ(run.Finish(), 1);
    EXPECT_EQ(ProcessExitCode(false, RunOutcome::NotRun), 1);
    EXPECT_EQ(ProcessExitCode(false, RunOutcome::Succeeded, true), 1);
}
