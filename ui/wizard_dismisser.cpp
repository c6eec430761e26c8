#include "ui/wizard_dismisser.h"

#include "platform/trace.h"

#include <cstring>

const char kHardwareInstallationTitle[] = "Hardware Installation";
const char kFoundNewHardwareTitle[] = "Found New Hardware Wizard";

namespace {

// The system compares window titles without regard to case; only a title
// equal byte for byte counts, so every window the system offers is checked.
HWND FindWindowTitledExactly(const char* title) {
    for (HWND window = plat::FindWindowExA(nullptr, nullptr, nullptr, title); window != nullptr;
         window = plat::FindWindowExA(nullptr, window, nullptr, title)) {
        char text[80] = {};
        plat::GetWindowTextA(window, text, sizeof text);
        if (std::strcmp(text, title) == 0) return window;
    }
    return nullptr;
}

HWND FindTopLevelWindow(const char* title) {
    for (int lookup = 1;; ++lookup) {
        HWND window = FindWindowTitledExactly(title);
        if (window != nullptr || lookup == kWindowLookups) return window;
        plat::Sleep(kLookupSleepMs);
    }
}

void SendKey(WORD virtualKey, DWORD flags) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = 0;
    input.ki.dwFlags = flags;
    input.ki.time = 0;
    input.ki.dwExtraInfo = 0;
    plat::SendInput(1, &input, sizeof(INPUT));
}

}  // namespace

bool AnswerHardwareWindow(const char* title, WORD virtualKey) {
    HWND window = FindTopLevelWindow(title);
    if (window == nullptr) return false;

    // The keys go to whatever window has the focus, so they are sent only when
    // the found window really came to the front; a window that keeps being
    // refused the foreground is tried again next cycle. The pause follows in
    // both cases, so a window that stays open is visited at the same pace
    // whether or not it could be answered, and refused foreground requests do
    // not spin.
    plat::SetForegroundWindow(window);
    const bool answered = plat::GetForegroundWindow() == window;
    if (answered) {
        SendKey(virtualKey, 0);
        SendKey(virtualKey, KEYEVENTF_KEYUP);
    }
    plat::Sleep(kAnswerPauseMs);
    return answered;
}

void DismissHardwareWizardsOnce() {
    AnswerHardwareWindow(kHardwareInstallationTitle, kHardwareInstallationKey);
    AnswerHardwareWindow(kFoundNewHardwareTitle, kFoundNewHardwareKey);
}

DWORD WINAPI HardwareWizardDismisser(LPVOID) {
    for (;;) DismissHardwareWizardsOnce();
}

HANDLE StartDismisser(ThreadStarter start) {
    HANDLE thread = start(HardwareWizardDismisser, nullptr);
    if (thread == nullptr) Trace("The hardware wizard dismisser could not be started\n");
    return thread;
}
