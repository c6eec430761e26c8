// The status line crosses from the worker to the window thread: every copy
// the window takes must be a line the worker wrote, never a mix of two.
#include "machine_fixture.h"

#include <atomic>
#include <cstring>
#include <thread>

using namespace pos;

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
}

TEST(StatusBoard, AWindowReadingWhileTheWorkerWritesSeesOnlyWholeLines) {
    StatusBoard board;
    const std::string a(90, 'a');
    const std::string b = "Mapping Serial Port C to COM3...";
    std::atomic<bool> done{false};
    board.SetRunning(true);

    std::thread worker([&] {
        for (int i = 0; i < 20000; ++i) board.SetLine("%s", (i % 2 ? a : b).c_str());
        board.SetRunning(false);
        done = true;
    });
    int torn = 0;
    do {
        char copy[StatusBoard::kTextSize];
        board.CopyText(copy);
        const std::string seen(copy);
        if (!seen.empty() && seen != a && seen != b) ++torn;
    } while (!done || board.IsRunning());
    worker.join();
    // Torn copies are rare without ThreadSanitizer, which sees any unguarded copy.
    EXPECT_EQ(torn, 0);
    EXPECT_FALSE(board.IsRunning());
}

TEST_F(MachineTest, AWorkerThreadRunsAnOperationWhileTheWindowPolls) {
    PutTableInfs();
    AddPosDevices(true, "CDEF");
    const RunOptions options = ParseRunOptions("INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL");
    WorkerRun run;
    run.choices = &options;
    g_status.SetRunning(true);  // as the window does before starting the worker

    std::thread worker([&] { InstallerThreadProc(&run); });
    std::string last;
    while (g_status.IsRunning()) {
        char copy[StatusBoard::kTextSize];
        g_status.CopyText(copy);
        last = copy;
    }
    worker.join();

    EXPECT_EQ(run.outcome, RunOutcome::Succeeded);
    EXPECT_EQ(Markers(), std::vector<std::string>{"RESULT.SUCCESS"});
    char final[StatusBoard::kTextSize];
    g_status.CopyText(final);
    EXPECT_STREQ(final, "Mapping Serial Port F to COM6...[OK]");
}
