// wizard-window: a stand-in for the system's hardware installation windows.
//
//   wizard-window <title> <seconds> <log file>
//
// Opens one top-level window with exactly the given title, brings it to the
// front, and writes a line for every key message it receives ("keydown
// 0x43", "keyup 0x1B", with the milliseconds since the window was made) to
// the log file. A key's time is its message's: when
// the input was made, not when this window got round to it; a key sent while
// the window was still being shown comes out of the queue late, and a busy
// machine would otherwise shorten the gap to the next one. It closes itself after <seconds> and
// ends with a summary line "keys <downs> down <ups> up".
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

FILE* g_log = nullptr;
DWORD g_start = 0;
int g_downs = 0, g_ups = 0;

void Log(const char* what, WPARAM vk) {
    const long at = static_cast<long>(static_cast<DWORD>(GetMessageTime()) - g_start);
    std::fprintf(g_log, "%6ld %s 0x%02X\n", at, what, static_cast<unsigned>(vk));
    std::fflush(g_log);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        ++g_downs;
        Log(message == WM_KEYDOWN ? "keydown" : "syskeydown", wParam);
        return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
        ++g_ups;
        Log(message == WM_KEYUP ? "keyup" : "syskeyup", wParam);
        return 0;
    case WM_TIMER:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: wizard-window <title> <seconds> <log file>\n");
        return 2;
    }
    const char* title = argv[1];
    double seconds = std::atof(argv[2]);
    // Plain "\n" line ends, as the shell scripts that read the log expect.
    if (!(g_log = std::fopen(argv[3], "wb"))) {
        std::fprintf(stderr, "wizard-window: cannot write %s\n", argv[3]);
        return 2;
    }

    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "ZanWizardStandIn";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, title, WS_OVERLAPPEDWINDOW, 40, 40, 360, 120, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    // From here on the window can be found by its title.
    g_start = GetTickCount();
    if (!window) {
        std::fprintf(stderr, "wizard-window: CreateWindowEx failed (%lu)\n", GetLastError());
        return 1;
    }
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(window);
    SetTimer(window, 1, static_cast<UINT>(seconds * 1000), nullptr);
    std::fprintf(g_log, "%6d shown \"%s\"\n", 0, title);
    std::fflush(g_log);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    std::fprintf(g_log, "%6lu keys %d down %d up\n", GetTickCount() - g_start, g_downs, g_ups);
    std::fflush(g_log);
    return 0;
}
