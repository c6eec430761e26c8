// The worker's run of the operation the command line chose, and the markers
// and error box that tell how it ended.
#include "machine_fixture.h"

using namespace pos;

TEST_F(MachineTest, TheRunningFlagIsRaisedForTheWholeOperation) {
    AddPosDevices(true, "");
    bool sawRunning = false;
    static bool* seen = nullptr;
    seen = &sawRunning;
    machine().onSleep = [](DWORD) { *seen = *seen || g_status.IsRunning(); };

    Run("UNINSTALL");

    EXPECT_TRUE(sawRunning);
    EXPECT_FALSE(g_status.IsRunning());
}

TEST_F(MachineTest, AnOldMarkerThatCannotBeDeletedIsEmptiedWhenWrittenAgain) {
    const std::string marker = std::string(kWin) + "\\RESULT.SUCCESS";
    machine().PutFile(marker, "left from an earlier run");
    machine().MakeUndeletable(marker);

    EXPECT_EQ(Run("UNINSTALL"), RunOutcome::Succeeded);

    EXPECT_EQ(machine().ReadWholeFile(marker), std::string());
}

// --- UNATTENDED: a silent run that never shows a box ------------------------------------

namespace {

enum class Machine { Full, Empty, WithoutWindowsDir };

struct UnattendedCase {
    const char* name;
    Machine arranged;
    const char* keywords;  // besides SILENT or UNATTENDED
    const char* failing;   // an operation failing for good, or nullptr
    RunOutcome outcome;
};

void PrintTo(const UnattendedCase& c, std::ostream* os) { *os << c.name; }

// What a run leaves for a script and a person to see.
struct Seen {
    RunOutcome outcome;
    Lines timeline, trace, markers, updates, devices;
    std::vector<Box> boxes;
    int fileCalls;  // files deleted or opened
};

class UnattendedTest : public MachineTest, public ::testing::WithParamInterface<UnattendedCase> {
protected:
    Seen RunWith(const char* choice) {
        TearDown();
        SetUp();
        const UnattendedCase& c = GetParam();
        machine().PutFile(std::string(kWin) + "\\RESULT.SUCCESS");
        PutTableInfs();
        if (c.arranged != Machine::Empty) AddPosDevices(true, "CDEF");
        if (c.arranged == Machine::WithoutWindowsDir) g_windowsDir.clear();
        if (c.failing != nullptr) machine().FailAlways(c.failing, ERROR_ACCESS_DENIED);

        Seen seen;
        seen.outcome = Run(std::string(c.keywords) + " " + choice);
        seen.timeline = Timeline();
        seen.trace = Trace();
        seen.markers = Markers();
        seen.updates = UpdatedIds();
        for (const auto& device : machine().Devices()) seen.devices.push_back(device.instanceId + " " + device.driverInf);
        seen.boxes = Boxes();
        seen.fileCalls = machine().Calls("DeleteFileA") + machine().Calls("CreateFileA");
        return seen;
    }
};

}  // namespace

TEST_P(UnattendedTest, RunsAsSilentButShowsNoBoxAndWritesItsMarkerAtOnce) {
    const Seen silent = RunWith("SILENT");
    const Seen unattended = RunWith("UNATTENDED");

    EXPECT_EQ(unattended.outcome, GetParam().outcome);
    // Outcome, timeline, trace, markers, driver updates and devices alike.
    const auto seen = [](const Seen& s) {
        return std::tie(s.outcome, s.timeline, s.trace, s.markers, s.updates, s.devices);
    };
    EXPECT_EQ(seen(silent), seen(unattended));
    const bool failed = GetParam().outcome == RunOutcome::Failed;
    const std::string error = std::string("An error was encountered while ") +
                              (GetParam().keywords[0] == 'I' ? "installing" : "uninstalling") + " the drivers.";
    EXPECT_EQ(silent.boxes, failed ? std::vector<Box>{ErrorBox(error)} : std::vector<Box>{});
    EXPECT_TRUE(unattended.boxes.empty());
    if (GetParam().arranged == Machine::WithoutWindowsDir) {  // touches nothing; asked nothing, it does not run
        EXPECT_EQ(silent.trace, Lines{"--> Windows directory not available"});
        EXPECT_EQ(silent.fileCalls, 0);
        EXPECT_TRUE(silent.updates.empty());
        EXPECT_EQ(Run("nothing asked"), RunOutcome::NotRun);
    } else if (failed) {
        EXPECT_EQ(unattended.markers, Lines{"RESULT.FAIL"});
        // The "[Failed]" line and its pause are the run's last steps before the marker.
        ASSERT_GE(unattended.timeline.size(), 2u);
        EXPECT_NE(unattended.timeline[unattended.timeline.size() - 2].find("[Failed]"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, UnattendedTest, ::testing::Values(
    UnattendedCase{"InstallSucceeds", Machine::Full, "INSTALL BASE_DEVICE MAROVEL_SERIAL", nullptr,
                   RunOutcome::Succeeded},
    UnattendedCase{"InstallFails", Machine::Full, "INSTALL MAROVEL_SERIAL", "UpdateDriverForPlugAndPlayDevicesA",
                   RunOutcome::Failed},
    UnattendedCase{"InstallWithoutWindowsDirectory", Machine::WithoutWindowsDir, "INSTALL", nullptr,
                   RunOutcome::Failed},
    UnattendedCase{"UninstallSucceeds", Machine::Full, "UNINSTALL", nullptr, RunOutcome::Succeeded},
    UnattendedCase{"UninstallOnAnEmptyMachine", Machine::Empty, "UNINSTALL", nullptr, RunOutcome::Succeeded},
    UnattendedCase{"UninstallFailsAtARemoval", Machine::Full, "UNINSTALL", "SetupDiRemoveDevice",
                   RunOutcome::Failed}),
    [](const ::testing::TestParamInfo<UnattendedCase>& info) { return std::string(info.param.name); });
