// The simulated machine's user interface: message boxes answered from a
// script, top-level windows, the foreground and synthetic keyboard input.
#include "sim/calls.h"

#include <algorithm>
#include <cstring>

using namespace sim;

namespace plat {

// --- Message boxes -------------------------------------------------------------------

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    Machine& machine = TheMachine();
    Call call("MessageBoxA");
    Impl& m = call.m;
    if (auto fault = call.fault) {
        SetLastError(*fault);
        return 0;
    }
    sim::MessageBoxCall box;
    box.text = text ? text : "";
    box.caption = caption ? caption : "Error";  // Windows' caption when none is given
    box.type = type;
    if (!m.answers.empty()) {
        box.answer = m.answers.front();
        m.answers.pop_front();
    } else {
        box.answer = (type & MB_TYPEMASK) == MB_OK ? IDOK : machine.defaultAnswer.load();
    }
    m.boxes.push_back(box);
    const std::function<void(const sim::MessageBoxCall&)> hook = machine.onMessageBox;
    call.Unlock();
    if (hook) hook(box);
    return box.answer;
}


// --- Windows and synthetic input -----------------------------------------------------

int GetWindowTextA(HWND window, LPSTR text, int size) {
    Call call("GetWindowTextA");
    Impl& m = call.m;
    if (auto fault = call.fault) {
        SetLastError(*fault);
        if (text != nullptr && size > 0) text[0] = '\0';
        return 0;
    }
    const auto it = std::find_if(m.windows.begin(), m.windows.end(),
                                 [&](const Impl::Window& w) { return w.hwnd == window; });
    if (it == m.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        if (text != nullptr && size > 0) text[0] = '\0';
        return 0;
    }
    if (text == nullptr || size <= 0) return 0;
    const std::size_t copied = std::min(it->title.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(text, it->title.data(), copied);
    text[copied] = '\0';
    return static_cast<int>(copied);
}

HWND FindWindowExA(HWND parent, HWND childAfter, LPCSTR className, LPCSTR windowName) {
    Call call("FindWindowExA");
    Impl& m = call.m;
    if (auto fault = call.fault) {
        SetLastError(*fault);
        return nullptr;
    }
    if (parent != nullptr) return nullptr;  // simulated windows have no children
    auto it = m.windows.rbegin();           // from the top of the Z order down
    if (childAfter != nullptr) {
        it = std::find_if(m.windows.rbegin(), m.windows.rend(),
                          [&](const Impl::Window& w) { return w.hwnd == childAfter; });
        if (it == m.windows.rend()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        ++it;
    }
    for (; it != m.windows.rend(); ++it) {
        if ((windowName == nullptr || sim::EqualNoCase(it->title, windowName)) &&
            (className == nullptr || sim::EqualNoCase(it->className, className))) {
            return it->hwnd;
        }
    }
    return nullptr;
}

BOOL SetForegroundWindow(HWND window) {
    Machine& machine = TheMachine();
    Call call("SetForegroundWindow");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    if (!m.IsWindowLocked(window)) return Fail(ERROR_INVALID_WINDOW_HANDLE);
    if (!machine.foregroundLocked) m.foreground = window;
    return TRUE;
}

HWND GetForegroundWindow() {
    Call call("GetForegroundWindow");
    Impl& m = call.m;
    if (auto fault = call.fault) {
        SetLastError(*fault);
        return nullptr;
    }
    return m.foreground;
}

UINT SendInput(UINT count, LPINPUT inputs, int size) {
    Call call("SendInput");
    Impl& m = call.m;
    if (auto fault = call.fault) {
        SetLastError(*fault);
        return 0;
    }
    if (size != static_cast<int>(sizeof(INPUT))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (inputs == nullptr && count != 0) {
        SetLastError(ERROR_NOACCESS);
        return 0;
    }
    for (UINT i = 0; i < count; ++i) {
        if (inputs[i].type != INPUT_KEYBOARD) continue;
        const KEYBDINPUT& key = inputs[i].ki;
        m.inputs.push_back({m.foreground, key.wVk, key.wScan, key.dwFlags, key.time, key.dwExtraInfo});
    }
    return count;
}

}  // namespace plat
