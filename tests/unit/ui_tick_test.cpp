// The progress window's timer tick, its start of the worker and the process
// exit code, without the window: the tick gets the text the status line held
// when read back, as the window reads it into its 80-byte buffer.
#include "machine_fixture.h"
#include "run/program_run.h"
#include "run/worker_run.h"
#include "ui/progress_tick.h"

#include <string>

namespace {

// What the window reads back from a status line showing `text`.
std::string ReadBack(const std::string& text) { return text.substr(0, kStatusReadBackSize - 1); }

class TickTest : public ::testing::Test {
protected:
    void SetUp() override { board.SetRunning(true); }
    StatusBoard board;
};

}  // namespace

TEST_F(TickTest, FirstTickReplacesTheInitialTextWithTheBoardsStillEmptyLine) {
    const ProgressTick tick = DecideProgressTick("Checking for previously installed drivers...", board);

    EXPECT_EQ(tick.action, ProgressTick::SetText);
    EXPECT_STREQ(tick.text, "");
}

TEST_F(TickTest, LineIsCopiedOnlyWhenItDiffersExactly) {
    board.SetLine("Installing %s...", "ZAN 7350-21x Base Device");

    EXPECT_EQ(DecideProgressTick("Installing ZAN 7350-21x Base Device...", board).action, ProgressTick::Keep);
    EXPECT_EQ(DecideProgressTick("installing ZAN 7350-21x Base Device...", board).action, ProgressTick::SetText);
    EXPECT_EQ(DecideProgressTick("Installing ZAN 7350-21x Base Device", board).action, ProgressTick::SetText);

    board.AppendResult("[OK]");
    const ProgressTick tick = DecideProgressTick("Installing ZAN 7350-21x Base Device...", board);
    EXPECT_EQ(tick.action, ProgressTick::SetText);
    EXPECT_STREQ(tick.text, "Installing ZAN 7350-21x Base Device...[OK]");
}

TEST_F(TickTest, LineOf80CharactersOrMoreIsWrittenAgainOnEveryTick) {
    const std::string fits(79, 'x');
    board.SetLine("%s", fits.c_str());
    EXPECT_EQ(DecideProgressTick(ReadBack(fits).c_str(), board).action, ProgressTick::Keep);

    const std::string tooLong = std::string(80, 'y') + "...[Failed]";
    board.SetLine("%s", tooLong.c_str());
    for (int tick = 0; tick < 3; ++tick) {
        const ProgressTick decided = DecideProgressTick(ReadBack(tooLong).c_str(), board);
        EXPECT_EQ(decided.action, ProgressTick::SetText);
        EXPECT_EQ(decided.text, tooLong);
    }
}

TEST_F(TickTest, WindowEndsAtTheFirstTickAfterTheWorkerLoweredItsFlagWhateverTheText) {
    board.SetLine("Uninstall Complete!");
    board.SetRunning(false);

    EXPECT_EQ(DecideProgressTick("Removing ZAN 7350-21x Base Device...", board).action, ProgressTick::Close);
    EXPECT_EQ(DecideProgressTick("Uninstall Complete!", board).action, ProgressTick::Close);
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

HANDLE FailingStarter(ThreadProc proc, LPVOID param) {
    g_startedProc = proc;
    g_startedParam = param;
    return nullptr;
}

class WorkerStartTest : public pos::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        g_startedProc = nullptr;
        g_startedParam = nullptr;
        worker.choices = &options;
    }
    // The thread the starter was given, run to its end.
    void RunStartedThread() {
        ASSERT_NE(g_startedProc, nullptr);
        g_startedProc(g_startedParam);
    }
    RunOptions options;
    WorkerRun worker;
};

}  // namespace

TEST_F(WorkerStartTest, TicksBeforeTheWorkerHasRunKeepTheWindowAndTheTickAfterItEndsClosesIt) {
    options = ParseRunOptions("");  // no operation: the worker ends at once

    EXPECT_EQ(StartWorker(g_status, RecordingStarter, &worker), static_cast<HANDLE>(&g_fakeThread));
    EXPECT_EQ(g_startedParam, &worker);

    // The worker has not taken a step yet, however many ticks pass.
    for (int tick = 0; tick < 3; ++tick)
        EXPECT_NE(DecideProgressTick("Checking for previously installed drivers...", g_status).action,
                  ProgressTick::Close);

    RunStartedThread();
    EXPECT_EQ(worker.outcome, RunOutcome::NotRun);
    EXPECT_EQ(DecideProgressTick("", g_status).action, ProgressTick::Close);
}

TEST_F(WorkerStartTest, WindowThatEndsWhileTheWorkerStillRunsMakesTheProcessFail) {
    ProgramRun run("INSTALL SILENT");
    StartWorker(g_status, RecordingStarter, &run.Worker());

    run.WorkerEnded(true, g_status);
    EXPECT_EQ(run.Finish(), 1);
}

TEST_F(WorkerStartTest, WorkerReadsTheChoicesItWasGiven) {
    PutTableInfs();
    options = ParseRunOptions("UNINSTALL");

    StartWorker(g_status, RecordingStarter, &worker);
    RunStartedThread();

    EXPECT_TRUE(TraceHas("**** Removing installed drivers ****"));
    EXPECT_EQ(Markers(), std::vector<std::string>{"RESULT.SUCCESS"});
    EXPECT_EQ(DecideProgressTick("Uninstall Complete!", g_status).action, ProgressTick::Close);
}

TEST_F(WorkerStartTest, WorkerThatCannotBeCreatedLeavesTheBoardStoppedAndTheProcessFails) {
    options = ParseRunOptions("INSTALL SILENT");

    EXPECT_EQ(StartWorker(g_status, FailingStarter, &worker), nullptr);

    EXPECT_FALSE(g_status.IsRunning());
    EXPECT_EQ(ProcessExitCode(false, worker.outcome), 1);
    EXPECT_TRUE(Markers().empty());
}

// The exit code follows the marker a real run leaves.
TEST_F(WorkerStartTest, ExitCodeIs0AfterSuccessOrNoOperationAnd1AfterRESULT_FAIL) {
    EXPECT_EQ(ProcessExitCode(true, Run("")), 0);
    EXPECT_TRUE(Markers().empty());

    EXPECT_EQ(ProcessExitCode(true, Run("UNINSTALL")), 0);
    EXPECT_EQ(Markers(), std::vector<std::string>{"RESULT.SUCCESS"});

    // No card in the machine: the driver update finds no device.
    PutTableInfs();
    EXPECT_EQ(ProcessExitCode(true, Run("INSTALL SILENT")), 1);
    EXPECT_EQ(Markers(), std::vector<std::string>{"RESULT.FAIL"});
}

// Every way a run can end, as the process exit code gives it.
TEST(ExitCode, FollowsTheWorkersEnd) {
    struct Row {
        bool workerStarted;
        bool stillRunning;
        RunOutcome outcome;
        bool restartNeeded;
        int code;
    };
    const Row rows[] = {
        {true, false, RunOutcome::NotRun, false, 0},
        {true, false, RunOutcome::Succeeded, false, 0},
        {true, false, RunOutcome::Succeeded, true, 3010},
        {true, false, RunOutcome::Failed, false, 1},
        {true, false, RunOutcome::Failed, true, 1},
        {true, true, RunOutcome::Succeeded, true, 1},
        {false, false, RunOutcome::NotRun, false, 1},
    };
    for (const Row& row : rows) {
        StatusBoard board;
        board.SetRunning(row.stillRunning);
        ProgramRun run("");
        run.Worker().outcome = row.outcome;
        run.Worker().restartNeeded = row.restartNeeded;
        run.WorkerEnded(row.workerStarted, board);
        EXPECT_EQ(run.Finish(), row.code)
            << "started " << row.workerStarted << ", running " << row.stillRunning << ", outcome "
            << static_cast<int>(row.outcome) << ", restart " << row.restartNeeded;
    }
}
