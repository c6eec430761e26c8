// The 32-bit program's hand-over on 64-bit Windows, on the simulated machine:
// the program's own path, the 64-bit program beside it as a program the
// machine can start (its run scripted: the markers it leaves, its exit code),
// and what the hand-over leaves: the start it made, the trace, the boxes and
// the markers.
#include "machine_fixture.h"

namespace {

using pos::kCaption;

constexpr const char kOwnPath[] = "C:\\Program Files\\ZAN Tools\\ZanDriverInstaller.exe";
constexpr const char kNativePath[] = "C:\\Program Files\\ZAN Tools\\x64\\ZanDriverInstaller.exe";
const std::string kHandingOver = std::string("--> 32-bit program on 64-bit Windows, handing over to ") + kNativePath;

class HandOverTest : public pos::MachineTest {
protected:
    void SetUp() override {
        MachineTest::SetUp();
        machine().wow64 = true;
        machine().SetModulePath(kOwnPath);
        machine().PutFile(std::string(pos::kWin) + "\\RESULT.FAIL");
    }

    // The 64-bit program: it finds the markers as the hand-over left them,
    // replaces them with `marker` (none for "") and ends with `exitCode`.
    void AddNativeProgram(const std::string& marker, DWORD exitCode) {
        machine().AddProgram(kNativePath, [this, marker, exitCode](const std::string& commandLine) {
            programCommandLine = commandLine;
            markersAtStart = Markers();
            plat::DeleteFileA("C:\\WINDOWS\\RESULT.SUCCESS");
            plat::DeleteFileA("C:\\WINDOWS\\RESULT.FAIL");
            if (!marker.empty()) machine().PutFile(std::string(pos::kWin) + "\\" + marker);
            return exitCode;
        });
    }

    std::string programCommandLine;
    std::vector<std::string> markersAtStart;
};

}  // namespace

// A wait for the started program or a read of its exit code that fails ends
// the hand-over with 1, still without a box, and leaves the markers to it.
TEST_F(HandOverTest, TheSixtyFourBitProgramGetsTheArgumentTextUnchangedAndItsMarkersAndExitCodeStand) {
    struct Case {
        std::string arguments;
        std::string marker;  // the one the 64-bit program leaves
        DWORD exitCode;
        const char* failing = nullptr;  // a call of the hand-over's failing once
        const char* failure = nullptr;  // what it traces instead of the exit code
    };
    const Case cases[] = {
        {"INSTALL SILENT BASE_DEVICE MAROVEL_SERIAL", "RESULT.SUCCESS", 0},
        {"INSTALL  SILENT \"C:\\Program Files\\UNINSTALL\\\" /x=\"a b\" 'q'", "RESULT.FAIL", 1},
        {"", "", 0},
        {"INSTALL SILENT", "RESULT.SUCCESS", 0, "WaitForSingleObject",
         "--> Error waiting for the 64-bit program : 00000006h"},
        {"INSTALL SILENT", "RESULT.SUCCESS", 0, "GetExitCodeProcess",
         "--> Error reading the 64-bit program's exit code : 00000006h"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("arguments: " + c.arguments + ", failing: " + (c.failing != nullptr ? c.failing : "nothing"));
        SetUp();
        AddNativeProgram(c.marker, c.exitCode);
        if (c.failing != nullptr) machine().FailNext(c.failing, ERROR_INVALID_HANDLE);
        // The simulated program runs on the first wait for it.
        const bool programRan = c.failing == nullptr || std::string(c.failing) != "WaitForSingleObject";

        const std::optional<HandOver> handOver = HandOverOnWow64(c.arguments);
        ASSERT_TRUE(handOver.has_value());
        EXPECT_TRUE(handOver->started);
        EXPECT_EQ(handOver->exitCode, c.failing != nullptr ? 1 : static_cast<int>(c.exitCode));

        const auto starts = machine().ProcessStarts();
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0].applicationName, kNativePath);  // by its full path, never searched for
        EXPECT_EQ(starts[0].commandLine, "\"" + std::string(kNativePath) + "\" " + c.arguments);
        EXPECT_EQ(starts[0].inheritHandles, FALSE);
        if (programRan) {
            EXPECT_EQ(programCommandLine, starts[0].commandLine);
            EXPECT_EQ(markersAtStart, std::vector<std::string>{"RESULT.FAIL"});  // untouched before the start
            EXPECT_EQ(Markers(), c.marker.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.marker});
        }
        const std::string ended = c.failure != nullptr
                                      ? c.failure
                                      : "--> 64-bit program ended with exit code " + std::to_string(c.exitCode);
        EXPECT_EQ(Trace(), (std::vector<std::string>{kHandingOver, ended}));
        EXPECT_TRUE(machine().MessageBoxes().empty());
        EXPECT_EQ(machine().OpenHandles().processes, 0);
    }
}

TEST_F(HandOverTest, WhenTheSixtyFourBitProgramCannotBeStartedTheRunFailsWithABoxThatNamesIt) {
    struct Case {
        const char* what;
        void (*arrange)(sim::Machine&);
        DWORD error;
        const char* named;  // the 64-bit program as the box names it
        bool windowsDir = true;  // false: the box still comes, and the markers are left as they were
    };
    const Case cases[] = {
        {"no x64 folder", [](sim::Machine&) {}, ERROR_PATH_NOT_FOUND, kNativePath},
        {"no program in it", [](sim::Machine& m) { m.PutFolder("C:\\Program Files\\ZAN Tools\\x64"); },
         ERROR_FILE_NOT_FOUND, kNativePath},
        {"a file that is no program", [](sim::Machine& m) { m.PutFile(kNativePath, "not a program"); },
         ERROR_BAD_EXE_FORMAT, kNativePath},
        {"own path without a folder", [](sim::Machine& m) { m.SetModulePath("ZanDriverInstaller.exe"); },
         ERROR_INVALID_NAME, "x64\\ZanDriverInstaller.exe"},
        {"own path longer than MAX_PATH",
         [](sim::Machine& m) { m.SetModulePath("C:\\" + std::string(300, 'a') + "\\ZanDriverInstaller.exe"); },
         ERROR_INSUFFICIENT_BUFFER, "x64\\ZanDriverInstaller.exe"},
        {"no Windows directory", [](sim::Machine& m) { m.FailAlways("GetWindowsDirectoryA", ERROR_ACCESS_DENIED); },
         ERROR_PATH_NOT_FOUND, kNativePath, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        machine().PutFile(std::string(pos::kWin) + "\\RESULT.SUCCESS");
        c.arrange(machine());

        const std::optional<HandOver> handOver = HandOverOnWow64("INSTALL SILENT");
        ASSERT_TRUE(handOver.has_value());
        EXPECT_FALSE(handOver->started);
        EXPECT_EQ(FailHandOver(*handOver, false), RunOutcome::Failed);

        const pos::Box box{MB_OK | MB_ICONERROR, kCaption,
                           "This is the 32-bit ZanDriverInstaller.exe: it cannot install or remove drivers on 64-bit "
                           "Windows, and the 64-bit program could not be started (error " +
                               std::to_string(c.error) + ").\n\nRun the 64-bit program instead:\n" + c.named};
        EXPECT_EQ(Boxes(), std::vector<pos::Box>{box});
        const pos::Lines oldMarkers{"RESULT.FAIL", "RESULT.SUCCESS"};
        // The old markers went before the box.
        EXPECT_EQ(markersAtBoxes, std::vector<pos::Lines>{c.windowsDir ? pos::Lines{} : oldMarkers});
        EXPECT_EQ(Markers(), c.windowsDir ? pos::Lines{"RESULT.FAIL"} : oldMarkers);
        char code[64];
        std::snprintf(code, sizeof(code), "--> Error starting the 64-bit program : %08lxh",
                      static_cast<unsigned long>(c.error));
        std::vector<std::string> trace{kHandingOver, code};
        if (std::string(c.named) != kNativePath) trace.erase(trace.begin());  // no path, no hand-over line
        if (!c.windowsDir) trace.push_back("--> Windows directory not available");
        EXPECT_EQ(Trace(), trace);
        EXPECT_EQ(machine().OpenHandles().processes, 0);
    }
}
