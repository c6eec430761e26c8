// The hardware wizard dismisser on the simulated machine: how often it looks,
// how long it sleeps, and which keys reach which window.
#include "machine_fixture.h"

namespace {

using Sleeps = std::vector<DWORD>;

Sleeps Concat(std::initializer_list<Sleeps> parts) {
    Sleeps all;
    for (const Sleeps& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The 1 ms sleeps between a title's lookups.
Sleeps Between(int lookups) { return Sleeps(lookups, 1); }

constexpr WORD kC = 0x43;
constexpr WORD kEscape = 0x1B;

struct DismissCase {
    const char* name;
    std::vector<std::string> windows;  // top-level windows, oldest first; the system offers the newest first
    int cycles;
    std::vector<std::pair<int, WORD>> keys;  // each key press: its window (index in `windows`) and key
    int lookups;                             // FindWindowExA calls
    Sleeps sleeps;
    int front;              // the window in front at the end (index in `windows`), -1 for none
    int lockedCycles = 0;   // first cycles in which windows[0] keeps the foreground
    int appearsAtSleep = 0; // "Hardware Installation" opens at this sleep (then last of `windows`)
};

void PrintTo(const DismissCase& c, std::ostream* os) { *os << c.name; }

class DismisserTest : public pos::MachineTest, public ::testing::WithParamInterface<DismissCase> {};

}  // namespace

TEST_P(DismisserTest, AnswersEachWizardWithItsKeyAtAFixedPace) {
    const DismissCase& c = GetParam();
    std::vector<HWND> windows;
    for (const std::string& title : c.windows) windows.push_back(machine().AddWindow(title));
    if (c.lockedCycles > 0) {
        ASSERT_TRUE(plat::SetForegroundWindow(windows[0]));  // another program in front
    }
    int sleeps = 0;
    machine().onSleep = [&](DWORD) {
        if (++sleeps == c.appearsAtSleep) windows.push_back(machine().AddWindow("Hardware Installation"));
    };

    for (int cycle = 0; cycle < c.cycles; ++cycle) {
        machine().foregroundLocked = cycle < c.lockedCycles;
        DismissHardwareWizardsOnce();
    }

    // A key-down and a key-up each, sent while their window was in front:
    // the keys go to whichever window has the focus.
    const auto inputs = machine().Inputs();
    ASSERT_EQ(inputs.size(), 2 * c.keys.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(inputs[i].window, windows.at(c.keys[i / 2].first));
        EXPECT_EQ(inputs[i].vk, c.keys[i / 2].second);
        EXPECT_EQ(inputs[i].flags, i % 2 == 0 ? 0u : static_cast<DWORD>(KEYEVENTF_KEYUP));
        EXPECT_EQ(inputs[i].scan, 0);
        EXPECT_EQ(inputs[i].time, 0u);
        EXPECT_EQ(inputs[i].extraInfo, 0u);
    }
    EXPECT_EQ(machine().Calls("FindWindowExA"), c.lookups);
    // 11 lookups of a title with 1 ms between them, 50 ms after a window found.
    EXPECT_EQ(machine().Sleeps(), c.sleeps);
    EXPECT_EQ(plat::GetForegroundWindow(), c.front < 0 ? nullptr : windows.at(c.front));
    // One foreground request for each window found, answered or not, as
    // each is followed by its 50 ms pause (and the test's own request).
    EXPECT_EQ(machine().Calls("SetForegroundWindow"),
              std::count(c.sleeps.begin(), c.sleeps.end(), 50u) + (c.lockedCycles > 0 ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(Windows, DismisserTest, ::testing::Values(
    DismissCase{"NoWizard", {}, 1, {}, 22, Between(20), -1},
    DismissCase{"HardwareInstallation", {"Hardware Installation"}, 1, {{0, kC}}, 12,
                Concat({{50}, Between(10)}), 0},
    DismissCase{"FoundNewHardwareWizard", {"Found New Hardware Wizard"}, 1, {{0, kEscape}}, 12,
                Concat({Between(10), {50}}), 0},
    DismissCase{"BothWizardsInOrder", {"Found New Hardware Wizard", "Hardware Installation"}, 1,
                {{1, kC}, {0, kEscape}}, 2, {50, 50}, 0},
    // Found at the lookup after it opened.
    DismissCase{"OpensBetweenLookups", {}, 1, {{0, kC}}, 5 + 11, Concat({Between(4), {50}, Between(10)}), 0, 0,
                4},
    DismissCase{"TitlesThatOnlyContainOrStartOne",
                {"Hardware Installation Wizard", "Hardware Installatio", "The Found New Hardware Wizard",
                 "Found New Hardware"},
                1, {}, 22, Between(20), -1},
    // The system matches titles without regard to case; the dismisser does not.
    DismissCase{"TitleInAnotherCase", {"HARDWARE INSTALLATION"}, 1, {}, 33, Between(20), -1},
    DismissCase{"WizardBehindOneInAnotherCase",
                {"HARDWARE INSTALLATION", "Hardware Installation", "hardware installation"}, 1, {{1, kC}},
                2 + 11, Concat({{50}, Between(10)}), 1},
    DismissCase{"WizardThatStaysOpen", {"Hardware Installation"}, 3, {{0, kC}, {0, kC}, {0, kC}}, 36,
                Concat({{50}, Between(10), {50}, Between(10), {50}, Between(10)}), 0},
    // Refused the foreground, the wizard gets no keys (they would land in
    // another program), and the cycle keeps its pace ...
    DismissCase{"RefusedTheForeground", {"Untitled - Notepad", "Hardware Installation"}, 1, {}, 12,
                Concat({{50}, Between(10)}), 0, 1},
    // ... and it is answered in the next cycle once it comes to the front.
    DismissCase{"InFrontInTheNextCycle", {"Untitled - Notepad", "Hardware Installation"}, 2, {{1, kC}}, 24,
                Concat({{50}, Between(10), {50}, Between(10)}), 1, 1}),
    [](const ::testing::TestParamInfo<DismissCase>& info) { return std::string(info.param.name); });
