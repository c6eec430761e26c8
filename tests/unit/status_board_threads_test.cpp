// The status line crosses from the worker to the window thread: every copy
// the window takes must be a line the worker wrote, never a mix of two.
#include "machine_fixture.h"

using namespace pos;

namespace {

// The lines a window polling `board` copies until the worker has lowered its
// flag, each change once: the copy after the flag is seen down must hold the
// line written before it was lowered.
Lines WatchUntilTheWorkerEnds(const StatusBoard& board) {
    Lines seen;
    for (bool running = true; running;) {
        running = board.IsRunning();
        char copy[StatusBoard::kTextSize];
        board.CopyText(copy);
        if (seen.empty() || seen.back() != copy) seen.emplace_back(copy);
    }
    return seen;
}

}  // namespace

TEST(StatusBoard, AppendsResultsRightAfterTheLineAndNeverOverflows) {
    StatusBoard board;
    board.SetLine("Installing %s...", "Serial Port C");
    board.AppendResult("[OK]");
    char copy[StatusBoard::kTextSize];
    board.CopyText(copy);
    EXPECT_STREQ(copy, "Installing Serial Port C...[OK]");

    board.SetLine("%s", std::string(150, 'x').c_str());
    board.AppendResult("[Failed]");
    board.CopyText(copy);
    EXPECT_EQ(std::string(copy), std::string(99, 'x'));

    // Reset, as every test's start relies on: an empty line, not running, no observer.
    static int notified = 0;
    board.SetObserver([](const char*) { ++notified; });
    board.SetRunning(true);
    board.Reset();
    board.CopyText(copy);
    EXPECT_STREQ(copy, "");
    EXPECT_FALSE(board.IsRunning());
    board.SetLine("unobserved");
    EXPECT_EQ(notified, 0);
}

// Torn copies are rare without ThreadSanitizer, which sees any unguarded copy.
TEST(StatusBoard, AWindowReadingWhileTheWorkerWritesSeesOnlyWholeLines) {
    StatusBoard board;
    const std::string a(90, 'a');
    const std::string b = "Mapping Serial Port C to COM3...";
    board.SetRunning(true);

    std::thread worker([&] {
        for (int i = 0; i < 20000; ++i) board.SetLine("%s", (i % 2 ? a : b).c_str());
        board.SetRunning(false);
    });
    const Lines seen = WatchUntilTheWorkerEnds(board);
    worker.join();

    for (const std::string& line : seen) EXPECT_TRUE(line.empty() || line == a || line == b) << line;
    EXPECT_EQ(seen.back(), a);
}

TEST_F(MachineTest, AWorkerThreadRunsAnOperationWhileTheWindowPolls) {
    PutTableInfs();
    AddPosDevices(true, "CDEF");
    const RunOptions options = ParseRunOptions("INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL");
    WorkerRun run;
    run.choices = &options;
    g_status.SetRunning(true);  // as the window does before starting the worker

    std::thread worker([&] { InstallerThreadProc(&run); });
    const Lines seen = WatchUntilTheWorkerEnds(g_status);
    worker.join();

    EXPECT_EQ(run.outcome, RunOutcome::Succeeded);
    EXPECT_EQ(Markers(), Lines{"RESULT.SUCCESS"});
    // Every line the window copied is one the worker wrote, whole; the last is the worker's last.
    Lines written{""};
    for (const std::string& line : Timeline()) {
        if (line.rfind("sleep ", 0) != 0) written.push_back(line);
    }
    for (const std::string& line : seen) {
        EXPECT_NE(std::find(written.begin(), written.end(), line), written.end()) << line;
    }
    EXPECT_EQ(written.back(), "Mapping Serial Port F to COM6...[OK]");
    EXPECT_EQ(seen.back(), written.back());
}
