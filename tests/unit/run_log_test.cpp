// The run's log file on the simulated machine: each trace line appended
// whole with the local time and the process ID, a first and a last line,
// nothing truncated, and a file that cannot be opened only traced.
#include "machine_fixture.h"

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

// A line that cannot be written is lost; the run goes on, and so does its
// log. The caller's last error is kept through the log's own calls.
TEST_F(RunLogTest, TakesEveryTraceLineBetweenItsFirstAndLastLineAndAppendsToWhatIsThere) {
    const std::string lost = "2024-05-06 08:30:00.000 640 ----> No more devices\\n\r\n";
    for (const bool lineLost : {false, true}) {
        SCOPED_TRACE(lineLost ? "a line lost" : "every line written");
        SetUp();
        machine().PutFile(kLog, "an earlier run\r\n");
        machine().processId = 640;
        {
            RunLog log;
            ASSERT_TRUE(log.Open(kLog, "1.0.0.1", "INSTALL \"/LOG=C:\\logs\\zan run.log\""));
            EXPECT_TRUE(log.IsOpen());
            if (lineLost) machine().FailNext("WriteFile", ERROR_DISK_FULL);
            plat::SetLastError(ERROR_NO_MORE_ITEMS);
            Trace("----> No more devices\n");
            EXPECT_EQ(plat::GetLastError(), ERROR_NO_MORE_ITEMS);
            plat::Sleep(1500);
            TraceF("--> Error creating marker file : %08lxh", 5ul);
            log.Close("RESULT.FAIL", 1);
            Trace("after the log was closed");
        }

        EXPECT_EQ(LogText(), "an earlier run\r\n"
                             "2024-05-06 08:30:00.000 640 ZanDriverInstaller 1.0.0.1 x64, arguments "
                             "\"INSTALL \"/LOG=C:\\logs\\zan run.log\"\"\r\n" +
                                 (lineLost ? "" : lost) +
                                 "2024-05-06 08:30:01.500 640 --> Error creating marker file : 00000005h\r\n"
                                 "2024-05-06 08:30:01.500 640 Finished: RESULT.FAIL, exit code 1\r\n");
        // The debugger output is as it always was.
        EXPECT_EQ(machine().Trace(), (std::vector<std::string>{"----> No more devices\n",
                                                               "--> Error creating marker file : 00000005h",
                                                               "after the log was closed"}));
        EXPECT_EQ(machine().Calls("WriteFile"), 4);  // nothing tried after the last line
        EXPECT_EQ(machine().Calls("FlushFileBuffers"), lineLost ? 3 : 4);  // after each line it wrote
        EXPECT_EQ(machine().OpenHandles().files, 0);
    }
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

// A run that opens the log while the run that has just made it checks it (a
// handle with delete access) waits for it to be free, a second at most.
TEST_F(RunLogTest, ALogHeldByTheRunCheckingItIsOpenedOnceItIsFree) {
    machine().PutFile(kLog, "");
    const auto holdForChecking = [] {
        return plat::CreateFileA(kLog, DELETE | FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    };
    HANDLE checking = holdForChecking();
    ASSERT_NE(checking, INVALID_HANDLE_VALUE);
    machine().onSleep = [&](DWORD) {
        if (machine().Sleeps().size() == 3) plat::CloseHandle(checking);
    };
    {
        RunLog log;
        EXPECT_TRUE(log.Open(kLog, "1.0.0.1", "UNINSTALL"));
        EXPECT_EQ(machine().Sleeps(), (std::vector<DWORD>{50, 50, 50}));
        log.Close("RESULT.SUCCESS", 0);
    }
    machine().onSleep = nullptr;
    checking = holdForChecking();
    RunLog held;
    EXPECT_FALSE(held.Open(kLog, "1.0.0.1", "UNINSTALL"));
    EXPECT_EQ(machine().Trace().back(),
              "--> Log file \"C:\\logs\\zan run.log\" could not be opened : GetLastError() = 00000020h");
    EXPECT_EQ(machine().Sleeps().size(), 3u + 19u);
    plat::CloseHandle(checking);
}

// Everything on drive C:, links as links: what a refused log must leave as it was.
std::map<std::string, std::string> DriveC() {
    namespace fs = std::filesystem;
    const fs::path root = sim::TheMachine().HostPath("C:\\");
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string name = entry.path().lexically_relative(root).string();
        if (entry.is_symlink()) {
            entries[name] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            entries[name] = sim::TheMachine().ReadWholeFile("C:\\" + name).value_or("<unreadable>");
        } else {
            entries[name] = "<folder>";
        }
    }
    return entries;
}

struct Unopenable {
    const char* name;
    const char* path;
    const char* trace;
    const char* failing = nullptr;  // an operation that fails for good
    void (*onCreateFile)(const std::string& path, DWORD disposition) = nullptr;
};

// The new log's creation refused.
void RefuseCreation(const std::string&, DWORD disposition) {
    if (disposition == CREATE_NEW) sim::TheMachine().FailNext("CreateFileA", ERROR_ACCESS_DENIED);
}

// The new log removed between its creation and its opening: it is not made again.
void RemoveOnceMade(const std::string& path, DWORD disposition) {
    if (disposition == OPEN_EXISTING && path == "C:\\logs\\new.log" && sim::TheMachine().FileExists(path))
        std::filesystem::remove(sim::TheMachine().HostPath(path));
}

class UnopenableLogTest : public RunLogTest, public ::testing::WithParamInterface<Unopenable> {};

// A folder that only an administrator could fill, and one below it that a
// user made first, with links to the system's files in it; a folder whose
// long path does not fit MAX_PATH, named by its short name.
TEST_P(UnopenableLogTest, IsTracedAndTheRunGoesOnWithoutItChangingNothing) {
    const std::string longFolder = "C:\\" + std::string(250, 'L');
    machine().PutFile(longFolder + "\\run.log", "kept\r\n");
    machine().SetShortName(longFolder, "LLLLLL~1");
    machine().PutFile("C:\\WINDOWS\\keep2.ini", "[keep]\r\n");
    machine().PutFile("C:\\WINDOWS\\target\\existing.log", "system\r\n");
    machine().PutFolder("C:\\WINDOWS\\target\\sub");
    machine().AddSymbolicLink("C:\\user\\symbolic.log", "C:\\WINDOWS\\keep2.ini");
    machine().AddSymbolicLink("C:\\user\\planted.log", "C:\\WINDOWS\\system32\\planted.dll");
    machine().AddSymbolicLink("C:\\user\\linked", "C:\\WINDOWS\\target");
    machine().PutFile(kLog, "kept\r\n");
    if (GetParam().failing != nullptr) machine().FailAlways(GetParam().failing, ERROR_PROC_NOT_FOUND);
    machine().onCreateFile = GetParam().onCreateFile;
    const auto before = DriveC();
    RunLog log;

    EXPECT_FALSE(log.Open(GetParam().path, "1.0.0.1", "UNINSTALL"));
    Trace("----> No driver installation found");
    log.Close("RESULT.SUCCESS", 0);

    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(machine().Trace(), (std::vector<std::string>{GetParam().trace, "----> No driver installation found"}));
    EXPECT_EQ(DriveC(), before);
    EXPECT_EQ(machine().Calls("WriteFile"), 0);
    EXPECT_EQ(machine().OpenHandles().files, 0);
}

INSTANTIATE_TEST_SUITE_P(Paths, UnopenableLogTest, ::testing::Values(
    Unopenable{"MissingFolder", "C:\\logs\\absent\\run.log",
               "--> Log file \"C:\\logs\\absent\\run.log\" could not be opened : GetLastError() = 00000003h"},
    Unopenable{"EmptyPath", "", "--> Log file \"\" could not be opened : GetLastError() = 00000003h"},
    Unopenable{"LinkedFolderExistingFile", "C:\\user\\linked\\existing.log",
               "--> Log file \"C:\\user\\linked\\existing.log\" refused: it leads to "
               "\"C:\\WINDOWS\\target\\existing.log\""},
    Unopenable{"SymbolicLink", "C:\\user\\symbolic.log",
               "--> Log file \"C:\\user\\symbolic.log\" refused: it is a link"},
    Unopenable{"LinkToNothing", "C:\\user\\planted.log",
               "--> Log file \"C:\\user\\planted.log\" refused: it is a link"},
    Unopenable{"LinkedFolderNewFile", "C:\\user\\linked\\new.log",
               "--> Log file \"C:\\user\\linked\\new.log\" refused: its folder is a link"},
    // What cannot be checked is not written to.
    Unopenable{"FinalPathUnreadable", kLog,
               "--> Log file \"C:\\logs\\zan run.log\" could not be checked : GetLastError() = 0000007fh",
               "GetFinalPathNameByHandleA"},
    Unopenable{"LinkedFolderHigherUp", "C:\\user\\linked\\sub\\new.log",
               "--> Log file \"C:\\user\\linked\\sub\\new.log\" refused: its folder leads to "
               "\"C:\\WINDOWS\\target\\sub\""},
    Unopenable{"LongPathBeyondMaxPath", "C:\\LLLLLL~1\\run.log",
               "--> Log file \"C:\\LLLLLL~1\\run.log\" could not be checked : GetLastError() = 000000ceh"},
    Unopenable{"NotCreated", "C:\\logs\\new.log",
               "--> Log file \"C:\\logs\\new.log\" could not be opened : GetLastError() = 00000005h", nullptr,
               RefuseCreation},
    Unopenable{"RemovedOnceMade", "C:\\logs\\new.log",
               "--> Log file \"C:\\logs\\new.log\" could not be opened : GetLastError() = 00000002h", nullptr,
               RemoveOnceMade}),
    [](const ::testing::TestParamInfo<Unopenable>& info) { return std::string(info.param.name); });

// A folder swapped for a link between its check and the log's creation: the
// file made at the link's target is found out through its handle and removed.
TEST_F(RunLogTest, AFileCreatedThroughALinkIsRemovedAgain) {
    machine().PutFolder("C:\\WINDOWS\\target");
    machine().onCreateFile = [](const std::string& path, DWORD disposition) {
        if (disposition != CREATE_NEW || path != "C:\\logs\\new.log") return;
        std::filesystem::remove_all(sim::TheMachine().HostPath("C:\\logs"));
        sim::TheMachine().AddSymbolicLink("C:\\logs", "C:\\WINDOWS\\target");
    };
    RunLog log;

    EXPECT_FALSE(log.Open("C:\\logs\\new.log", "1.0.0.1", "UNINSTALL"));

    EXPECT_EQ(machine().Trace(), std::vector<std::string>{"--> Log file \"C:\\logs\\new.log\" refused: it leads to "
                                                          "\"C:\\WINDOWS\\target\\new.log\""});
    EXPECT_EQ(machine().ListFolder("C:\\WINDOWS\\target"), std::vector<std::string>{});
    EXPECT_EQ(machine().OpenHandles().files, 0);

    // One that cannot be removed is traced.
    std::filesystem::remove(machine().HostPath("C:\\logs"));
    machine().PutFolder("C:\\logs");
    machine().ClearTrace();
    machine().FailNext("SetFileInformationByHandle", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(log.Open("C:\\logs\\new.log", "1.0.0.1", "UNINSTALL"));
    EXPECT_EQ(machine().Trace().back(), "--> Log file \"C:\\logs\\new.log\" made where it leads could not be removed : "
                                        "GetLastError() = 00000005h");
    EXPECT_EQ(machine().ListFolder("C:\\WINDOWS\\target"), std::vector<std::string>{"new.log"});
}

// The name as asked may differ from the one the system reports without
// leading anywhere else; a log at a drive's root has the root as its folder.
TEST_F(RunLogTest, AShortNameOrAnotherCaseNamesTheSameFile) {
    machine().PutFile("C:\\ProgramData\\ZAN Logs\\old.log", "old\r\n");
    machine().SetShortName("C:\\ProgramData", "PROGRA~3");
    machine().SetShortName("C:\\ProgramData\\ZAN Logs", "ZANLOG~1");
    for (const char* path : {"C:\\PROGRA~3\\ZANLOG~1\\old.log", "c:\\programdata\\zan logs\\OLD.LOG",
                             "C:\\PROGRA~3\\ZANLOG~1\\new.log", "C:\\ProgramData\\.\\ZAN Logs\\..\\ZAN Logs\\new.log", "C:\\root.log"}) {
        SCOPED_TRACE(path);
        RunLog log;
        EXPECT_TRUE(log.Open(path, "1.0.0.1", "UNINSTALL"));
        log.Close("RESULT.SUCCESS", 0);
    }
    EXPECT_TRUE(machine().Trace().empty());
    EXPECT_EQ(machine().ReadWholeFile("C:\\ProgramData\\ZAN Logs\\old.log")->substr(0, 5), "old\r\n");
    EXPECT_EQ(machine().ListFolder("C:\\ProgramData\\ZAN Logs"), (std::vector<std::string>{"new.log", "old.log"}));
}

TEST(LogFinalPath, NamesTheAskedPathWhateverItsPrefixCaseOrTrailingBackslash) {
    EXPECT_TRUE(FinalPathIsAsked("\\\\?\\C:\\Logs\\run.log", "c:\\logs\\RUN.LOG"));
    EXPECT_TRUE(FinalPathIsAsked("\\\\?\\UNC\\server\\share\\logs\\run.log", "\\\\SERVER\\share\\logs\\run.log"));
    EXPECT_TRUE(FinalPathIsAsked("\\\\?\\C:\\", "C:\\"));
    EXPECT_TRUE(FinalPathIsAsked("\\\\?\\C:\\logs\\", "C:\\logs"));
    EXPECT_FALSE(FinalPathIsAsked("\\\\?\\C:\\WINDOWS\\keep1.ini", "C:\\logs\\run.log"));
    EXPECT_FALSE(FinalPathIsAsked("\\\\?\\UNC\\server\\share\\run.log", "\\\\?\\UNC\\server\\other\\run.log"));
    EXPECT_FALSE(FinalPathIsAsked("\\\\?\\C:\\logs\\run.log2", "C:\\logs\\run.log"));
    EXPECT_TRUE(FinalPathIsAsked("C:\\Logs\\run.log", "c:\\logs\\RUN.LOG"));
}

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
