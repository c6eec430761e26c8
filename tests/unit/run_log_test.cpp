// The run's log file on the simulated machine: each trace line appended
// whole with the local time and the process ID, a first and a last line,
// nothing truncated, and a file that cannot be opened only traced.
#include "installer/run_log.h"
#include "platform/sim/machine.h"
#include "platform/trace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

constexpr char kLog[] = "C:\\logs\\zan run.log";

class RunLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        machine().Reset();
        machine().PutFolder("C:\\logs");
    }
    void TearDown() override { SetTraceSink(nullptr, nullptr); }
    sim::Machine& machine() { return sim::TheMachine(); }
    std::string LogText() { return machine().ReadWholeFile(kLog).value_or("<no file>"); }
};

}  // namespace

TEST(LogLine, PrefixesTheLocalTimeAndProcessAndEscapesLineBreaks) {
    const SYSTEMTIME time = {2025, 1, 0, 9, 7, 5, 3, 42};

    EXPECT_EQ(FormatLogLine(time, 4711, "--> Installing device driver"),
              "2025-01-09 07:05:03.042 4711 --> Installing device driver\r\n");
    EXPECT_EQ(FormatLogLine(time, 8, "----> No more devices\n"), "2025-01-09 07:05:03.042 8 ----> No more devices\\n\r\n");
    EXPECT_EQ(FormatLogLine(time, 8, "a\r\nb\\c \"d\""), "2025-01-09 07:05:03.042 8 a\\r\\nb\\c \"d\"\r\n");
    EXPECT_EQ(FormatLogLine(time, 8, ""), "2025-01-09 07:05:03.042 8 \r\n");
}

TEST_F(RunLogTest, TakesEveryTraceLineBetweenItsFirstAndLastLineAndAppendsToWhatIsThere) {
    machine().PutFile(kLog, "an earlier run\r\n");
    machine().processId = 640;
    {
        RunLog log;
        ASSERT_TRUE(log.Open(kLog, "1.0.0.1", "INSTALL \"/LOG=C:\\logs\\zan run.log\""));
        EXPECT_TRUE(log.IsOpen());
        Trace("----> No more devices\n");
        plat::Sleep(1500);
        TraceF("--> Error creating marker file : %08lxh", 5ul);
        log.Close("RESULT.FAIL", 1);
        Trace("after the log was closed");
    }

    EXPECT_EQ(LogText(),
              "an earlier run\r\n"
              "2024-05-06 08:30:00.000 640 ZanDriverInstaller 1.0.0.1 x64, arguments "
              "\"INSTALL \"/LOG=C:\\logs\\zan run.log\"\"\r\n"
              "2024-05-06 08:30:00.000 640 ----> No more devices\\n\r\n"
              "2024-05-06 08:30:01.500 640 --> Error creating marker file : 00000005h\r\n"
              "2024-05-06 08:30:01.500 640 Finished: RESULT.FAIL, exit code 1\r\n");
    // The debugger output is as it always was.
    EXPECT_EQ(machine().Trace(), (std::vector<std::string>{"----> No more devices\n",
                                                           "--> Error creating marker file : 00000005h",
                                                           "after the log was closed"}));
    EXPECT_EQ(machine().Calls("FlushFileBuffers"), 4);  // after each line it wrote
    EXPECT_EQ(machine().OpenHandles().files, 0);
}

// A run refused by the lock appends its own lines to the log of the run that
// holds it; each line is written whole, so the two never mix inside a line.
TEST_F(RunLogTest, TwoRunsShareOneFile) {
    RunLog first;
    machine().processId = 100;
    ASSERT_TRUE(first.Open(kLog, "1.0.0.1", "UNINSTALL /LOG=x"));
    {
        RunLog second;
        machine().processId = 200;
        ASSERT_TRUE(second.Open(kLog, "1.0.0.1", "UNINSTALL /LOG=x"));
        second.Close("another run in progress", 1618);
    }
    machine().processId = 100;
    first.Close("RESULT.SUCCESS", 0);

    EXPECT_EQ(LogText(),
              "2024-05-06 08:30:00.000 100 ZanDriverInstaller 1.0.0.1 x64, arguments \"UNINSTALL /LOG=x\"\r\n"
              "2024-05-06 08:30:00.000 200 ZanDriverInstaller 1.0.0.1 x64, arguments \"UNINSTALL /LOG=x\"\r\n"
              "2024-05-06 08:30:00.000 200 Finished: another run in progress, exit code 1618\r\n"
              "2024-05-06 08:30:00.000 100 Finished: RESULT.SUCCESS, exit code 0\r\n");
}

struct Unopenable {
    const char* name;
    const char* path;
    const char* trace;
};

class UnopenableLogTest : public RunLogTest, public ::testing::WithParamInterface<Unopenable> {};

TEST_P(UnopenableLogTest, IsTracedWithItsErrorAndTheRunGoesOnWithoutIt) {
    machine().PutFile("C:\\logs\\read-only.log", "kept\r\n");
    machine().MakeUnwritable("C:\\logs\\read-only.log");
    RunLog log;

    EXPECT_FALSE(log.Open(GetParam().path, "1.0.0.1", "UNINSTALL"));
    Trace("----> No driver installation found");
    log.Close("RESULT.SUCCESS", 0);

    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(machine().Trace(), (std::vector<std::string>{GetParam().trace, "----> No driver installation found"}));
    EXPECT_EQ(machine().ListFolder("C:\\logs"), std::vector<std::string>{"read-only.log"});
    EXPECT_EQ(machine().ReadWholeFile("C:\\logs\\read-only.log"), "kept\r\n");
    EXPECT_EQ(machine().Calls("WriteFile"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UnopenableLogTest,
    ::testing::Values(
        Unopenable{"MissingFolder", "C:\\logs\\absent\\run.log",
                   "--> Log file \"C:\\logs\\absent\\run.log\" could not be opened : GetLastError() = 00000003h"},
        Unopenable{"ReadOnlyFile", "C:\\logs\\read-only.log",
                   "--> Log file \"C:\\logs\\read-only.log\" could not be opened : GetLastError() = 00000005h"},
        Unopenable{"EmptyPath", "", "--> Log file \"\" could not be opened : GetLastError() = 00000003h"}),
    [](const ::testing::TestParamInfo<Unopenable>& info) { return std::string(info.param.name); });

// Lines traced from several threads while the sink is set and cleared: each
// reaches it whole, and none after it was cleared.
TEST(TraceSink, IsNeverCalledOnceCleared) {
    sim::TheMachine().Reset();
    static std::atomic<int> calls{0};
    static std::atomic<bool> cleared{false};
    static std::atomic<int> lateCalls{0};
    const TraceSink sink = [](void*, const char* text) {
        ++calls;
        std::this_thread::yield();  // a call in progress while the sink is cleared
        if (cleared.load()) ++lateCalls;
        EXPECT_STREQ(text, "--> REMOVING DEVICE....");
    };
    std::atomic<bool> stop{false};
    std::atomic<int> started{0};
    std::vector<std::thread> tracers;
    for (int t = 0; t < 2; ++t) {
        tracers.emplace_back([&] {
            ++started;
            while (!stop) Trace("--> REMOVING DEVICE....");
        });
    }
    while (started < 2) std::this_thread::yield();
    // Rounds until the sink was called often enough, however the threads are scheduled.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int round = 0; (round < 200 || calls < 1000) && std::chrono::steady_clock::now() < deadline; ++round) {
        cleared = false;
        SetTraceSink(sink, nullptr);
        std::this_thread::yield();
        SetTraceSink(nullptr, nullptr);
        cleared = true;
    }
    stop = true;
    for (std::thread& tracer : tracers) tracer.join();

    EXPECT_GE(calls.load(), 1000);
    EXPECT_EQ(lateCalls.load(), 0);
    sim::TheMachine().Reset();
}
