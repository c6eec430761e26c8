// The hardware wizard dismisser on the simulated machine: how often it looks,
// how long it sleeps, and which keys reach which window.
#include "machine_fixture.h"
#include "ui/wizard_dismisser.h"

#include <vector>

namespace {

using Sleeps = std::vector<DWORD>;

Sleeps Concat(std::initializer_list<Sleeps> parts) {
    Sleeps all;
    for (const Sleeps& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const Sleeps kTenLookupSleeps(10, 1);

class DismisserTest : public pos::MachineTest {
protected:
    // The key-down and key-up of `vk`, sent while `window` was in front.
    void ExpectKeyPress(const std::vector<sim::KeyInput>& inputs, size_t at, HWND window, WORD vk) {
        ASSERT_GE(inputs.size(), at + 2);
        for (size_t i = at; i < at + 2; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(inputs[i].window, window);
            EXPECT_EQ(inputs[i].vk, vk);
            EXPECT_EQ(inputs[i].scan, 0);
            EXPECT_EQ(inputs[i].time, 0u);
            EXPECT_EQ(inputs[i].extraInfo, 0u);
        }
        EXPECT_EQ(inputs[at].flags, 0u);
        EXPECT_EQ(inputs[at + 1].flags, static_cast<DWORD>(KEYEVENTF_KEYUP));
    }
};

}  // namespace

TEST_F(DismisserTest, WithoutWizardWindowsACycleMakes22LookupsAnd20SleepsOf1msAndSendsNothing) {
    DismissHardwareWizardsOnce();

    EXPECT_EQ(machine().Calls("FindWindowExA"), 22);
    EXPECT_EQ(machine().Sleeps(), Sleeps(20, 1));
    EXPECT_TRUE(machine().Inputs().empty());
    EXPECT_EQ(machine().Calls("SetForegroundWindow"), 0);
}

TEST_F(DismisserTest, HardwareInstallationWindowGetsCPressedAndReleasedThenA50msPause) {
    HWND wizard = machine().AddWindow("Hardware Installation");

    DismissHardwareWizardsOnce();

    const auto inputs = machine().Inputs();
    ASSERT_EQ(inputs.size(), 2u);
    ExpectKeyPress(inputs, 0, wizard, 0x43);
    // Found at the first lookup; then 11 lookups for the other title.
    EXPECT_EQ(machine().Calls("FindWindowExA"), 12);
    EXPECT_EQ(machine().Sleeps(), Concat({{50}, kTenLookupSleeps}));
}

TEST_F(DismisserTest, FoundNewHardwareWizardGetsEscapeAfterTheFirstTitleWasLookedFor) {
    HWND wizard = machine().AddWindow("Found New Hardware Wizard");

    DismissHardwareWizardsOnce();

    const auto inputs = machine().Inputs();
    ASSERT_EQ(inputs.size(), 2u);
    ExpectKeyPress(inputs, 0, wizard, 0x1B);
    EXPECT_EQ(machine().Sleeps(), Concat({kTenLookupSleeps, {50}}));
}

TEST_F(DismisserTest, WindowThatAppearsBetweenLookupsIsAnsweredAtTheNextLookup) {
    HWND wizard = nullptr;
    int sleeps = 0;
    machine().onSleep = [&](DWORD) {
        if (++sleeps == 4) wizard = machine().AddWindow("Hardware Installation");
    };

    DismissHardwareWizardsOnce();

    const auto inputs = machine().Inputs();
    ASSERT_EQ(inputs.size(), 2u);
    ExpectKeyPress(inputs, 0, wizard, 0x43);
    EXPECT_EQ(machine().Calls("FindWindowExA"), 5 + 11);
    EXPECT_EQ(machine().Sleeps(), Concat({Sleeps(4, 1), {50}, kTenLookupSleeps}));
}

TEST_F(DismisserTest, WindowsWhoseTitleOnlyContainsOrStartsATitleAreLeftAlone) {
    machine().AddWindow("Hardware Installation Wizard");
    machine().AddWindow("Hardware Installatio");
    machine().AddWindow("The Found New Hardware Wizard");
    machine().AddWindow("Found New Hardware");

    DismissHardwareWizardsOnce();

    EXPECT_TRUE(machine().Inputs().empty());
    EXPECT_EQ(machine().Calls("FindWindowExA"), 22);
    EXPECT_EQ(machine().Sleeps(), Sleeps(20, 1));
}

TEST_F(DismisserTest, TitlesDifferingOnlyInCaseAreLeftAloneAndDoNotHideTheRealWizard) {
    machine().AddWindow("HARDWARE INSTALLATION");
    DismissHardwareWizardsOnce();
    EXPECT_TRUE(machine().Inputs().empty());
    EXPECT_EQ(machine().Sleeps(), Sleeps(20, 1));

    // The system offers the later, differently cased window first.
    HWND wizard = machine().AddWindow("Hardware Installation");
    machine().AddWindow("hardware installation");
    machine().ClearInputs();
    DismissHardwareWizardsOnce();
    const auto inputs = machine().Inputs();
    ASSERT_EQ(inputs.size(), 2u);
    EXPECT_EQ(inputs[0].window, wizard);
    EXPECT_EQ(inputs[0].vk, 0x43);
}

TEST_F(DismisserTest, WizardThatStaysOpenIsAnsweredInEveryCycle) {
    HWND wizard = machine().AddWindow("Hardware Installation");

    for (int cycle = 0; cycle < 3; ++cycle) DismissHardwareWizardsOnce();

    const auto inputs = machine().Inputs();
    ASSERT_EQ(inputs.size(), 6u);
    for (size_t at = 0; at < 6; at += 2) ExpectKeyPress(inputs, at, wizard, 0x43);
    EXPECT_EQ(machine().Sleeps(), Concat({{50}, kTenLookupSleeps, {50}, kTenLookupSleeps, {50}, kTenLookupSleeps}));
}

// The keys go to whichever window has the focus: when the wizard cannot be
// brought to the front they would land in another program, so none is sent.
TEST_F(DismisserTest, WizardRefusedTheForegroundGetsNoKeysButTheCycleKeepsItsPace) {
    HWND editor = machine().AddWindow("Untitled - Notepad");
    ASSERT_TRUE(plat::SetForegroundWindow(editor));
    HWND wizard = machine().AddWindow("Hardware Installation");
    machine().foregroundLocked = true;

    DismissHardwareWizardsOnce();

    EXPECT_TRUE(machine().Inputs().empty());
    EXPECT_EQ(plat::GetForegroundWindow(), editor);
    EXPECT_EQ(machine().Calls("SetForegroundWindow"), 2);  // the test's own, and the dismisser's
    EXPECT_EQ(machine().Sleeps(), Concat({{50}, kTenLookupSleeps}));

    // Looked for again in the next cycle, and answered once it comes to the front.
    machine().foregroundLocked = false;
    DismissHardwareWizardsOnce();
    const auto inputs = machine().Inputs();
    ASSERT_EQ(inputs.size(), 2u);
    ExpectKeyPress(inputs, 0, wizard, 0x43);
}

TEST_F(DismisserTest, BothWizardsOpenAreAnsweredInOrderInOneCycle) {
    HWND found = machine().AddWindow("Found New Hardware Wizard");
    HWND hardware = machine().AddWindow("Hardware Installation");

    DismissHardwareWizardsOnce();

    const auto inputs = machine().Inputs();
    ASSERT_EQ(inputs.size(), 4u);
    ExpectKeyPress(inputs, 0, hardware, 0x43);
    ExpectKeyPress(inputs, 2, found, 0x1B);
    EXPECT_EQ(machine().Calls("FindWindowExA"), 2);
    EXPECT_EQ(machine().Sleeps(), Sleeps({50, 50}));
}
