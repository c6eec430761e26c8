// Choosing the operation from the command line, and the markers and error
// box that tell how a run ended.
#include "machine_fixture.h"

using namespace pos;
using Lines = std::vector<std::string>;

namespace {

class RunnerTest : public MachineTest {
protected:
    void PutOldMarkers() {
        machine().PutFile(std::string(kWin) + "\\RESULT.SUCCESS");
        machine().PutFile(std::string(kWin) + "\\result.fail");
    }
    bool RanUninstall() const { return TraceHas("**** Removing installed drivers ****"); }
};

}  // namespace

TEST(OperationChoice, UninstallWinsAndKeywordsAreCaseSensitiveSubstrings) {
    EXPECT_EQ(ChooseOperation("INSTALL UNINSTALL"), Operation::Uninstall);
    EXPECT_EQ(ChooseOperation("/x:UNINSTALLER"), Operation::Uninstall);
    EXPECT_EQ(ChooseOperation("SILENT INSTALL"), Operation::Install);
    EXPECT_EQ(ChooseOperation("D:\\INSTALL\\setup.cmd"), Operation::Install);
    EXPECT_EQ(ChooseOperation("install uninstall Install"), Operation::None);
    EXPECT_EQ(ChooseOperation(""), Operation::None);
    EXPECT_EQ(ChooseOperation("UN INSTALL"), Operation::Install);
}

TEST_F(RunnerTest, NoKeywordDeletesBothOldMarkersAndWritesNone) {
    PutOldMarkers();

    EXPECT_EQ(Run("install SILENT"), RunOutcome::NotRun);

    EXPECT_TRUE(Markers().empty());
    EXPECT_TRUE(Timeline().empty());
    EXPECT_TRUE(machine().DriverUpdates().empty());
    EXPECT_FALSE(g_status.IsRunning());
}

TEST_F(RunnerTest, UninstallAnywhereWinsOverInstall) {
    PutOldMarkers();

    EXPECT_EQ(Run("INSTALL SILENT UNINSTALL"), RunOutcome::Succeeded);

    EXPECT_TRUE(RanUninstall());
    EXPECT_TRUE(machine().DriverUpdates().empty());
    EXPECT_EQ(Markers(), Lines{"RESULT.SUCCESS"});
}

TEST_F(RunnerTest, TheRunningFlagIsRaisedForTheWholeOperation) {
    AddPosDevices(true, "");
    bool sawRunning = false;
    static bool* seen = nullptr;
    seen = &sawRunning;
    machine().onSleep = [](DWORD) { *seen = *seen || g_status.IsRunning(); };

    Run("UNINSTALL");

    EXPECT_TRUE(sawRunning);
    EXPECT_FALSE(g_status.IsRunning());
}

TEST_F(RunnerTest, WithoutTheWindowsDirectoryTheRunFailsWithTheErrorBoxAndTouchesNothing) {
    PutTableInfs();
    AddPosDevices(true, "C");
    g_windowsDir.clear();

    EXPECT_EQ(Run("INSTALL SILENT"), RunOutcome::Failed);

    const auto boxes = machine().MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "An error was encountered while installing the drivers.");
    EXPECT_EQ(machine().Calls("DeleteFileA"), 0);
    EXPECT_EQ(machine().Calls("CreateFileA"), 0);
    EXPECT_TRUE(machine().DriverUpdates().empty());
    EXPECT_EQ(Run("nothing asked"), RunOutcome::NotRun);
}

TEST_F(RunnerTest, AnOldMarkerThatCannotBeDeletedIsEmptiedWhenWrittenAgain) {
    const std::string marker = std::string(kWin) + "\\RESULT.SUCCESS";
    machine().PutFile(marker, "left from an earlier run");
    machine().MakeUndeletable(marker);

    EXPECT_EQ(Run("UNINSTALL"), RunOutcome::Succeeded);

    EXPECT_EQ(machine().ReadWholeFile(marker), std::string());
}

TEST_F(RunnerTest, AMarkerThatCannotBeCreatedIsTracedAndTheOutcomeStands) {
    machine().MakeUnwritable(std::string(kWin) + "\\RESULT.SUCCESS");

    EXPECT_EQ(Run("UNINSTALL"), RunOutcome::Succeeded);

    EXPECT_TRUE(Markers().empty());
    EXPECT_EQ(Trace().back(), "--> Error creating marker file : 00000005h");
}
