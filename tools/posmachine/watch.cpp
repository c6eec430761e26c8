// watch: follows the installer's progress window from outside its process.
// It prints every status line the window shows, the message boxes that appear
// (caption, text, buttons and which markers exist at that moment), answers
// them when asked to, notes when a marker file appears, and returns once the
// window has closed.
//
//   posmachine watch [--timeout S] [--hold MS] [--every MS] [--answer CAPTION=yes|no|ok]...
//
// Every line starts with the milliseconds since the watch began. It looks
// every 5 ms (--every: another pause between looks; each look costs Wine's
// server a round of requests, a quarter of a core at 5 ms).
#include "posmachine.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace pm {

namespace {

const int kStatusControl = 1000;

LARGE_INTEGER g_start, g_frequency;

long long Millis() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (now.QuadPart - g_start.QuadPart) * 1000 / g_frequency.QuadPart;
}

void Say(const std::string& line) {
    std::printf("%7lld %s\n", Millis(), line.c_str());
    std::fflush(stdout);
}

// A window's text as the window manager holds it, without sending it a message.
std::string TextOf(HWND window) {
    wchar_t buffer[1024];
    int n = InternalGetWindowText(window, buffer, 1024);
    return Narrow(std::wstring(buffer, n > 0 ? n : 0));
}

std::string ClassOf(HWND window) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof(name));
    return name;
}

std::string Quote(const std::string& text) { return "\"" + EscapeBytes(text.data(), text.size()) + "\""; }

struct TopLevel {
    HWND known = nullptr;  // the progress window once seen
    HWND progress = nullptr;
    std::vector<HWND> boxes;
};

// The progress window, once seen, stays the progress window: while it is
// destroyed it loses its status line first, and must not pass for a box then.
BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<TopLevel*>(param);
    if (!IsWindowVisible(window) || ClassOf(window) != "#32770") return TRUE;
    if (window == found->known || GetDlgItem(window, kStatusControl))
        found->progress = window;
    else
        found->boxes.push_back(window);
    return TRUE;
}

struct BoxContents {
    std::string text;
    std::vector<std::pair<std::string, int>> buttons;  // label, control ID
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
    auto* box = reinterpret_cast<BoxContents*>(param);
    std::string cls = ClassOf(child);
    std::string text = TextOf(child);
    if (cls == "Button")
        box->buttons.push_back({text, GetDlgCtrlID(child)});
    else if (cls == "Static" && !text.empty())
        box->text += text;
    return TRUE;
}

std::string Markers(const std::string& windows) {
    std::string present;
    for (const char* marker : {"RESULT.FAIL", "RESULT.SUCCESS"})
        if (GetFileAttributesA((windows + "\\" + marker).c_str()) != INVALID_FILE_ATTRIBUTES)
            present += (present.empty() ? "" : ",") + std::string(marker);
    return present.empty() ? "none" : present;
}

int ButtonId(const std::string& answer) {
    if (answer == "yes") return IDYES;
    if (answer == "no") return IDNO;
    if (answer == "ok") return IDOK;
    return 0;
}

}  // namespace

int CmdWatch(const std::vector<std::string>& args) {
    double timeout = 120;
    DWORD hold = 300;
    DWORD every = 5;
    std::map<std::string, int> answers;  // caption -> button ID
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--timeout" && i + 1 < args.size()) {
            timeout = std::atof(args[++i].c_str());
        } else if (a == "--hold" && i + 1 < args.size()) {
            hold = static_cast<DWORD>(std::atoi(args[++i].c_str()));
        } else if (a == "--every" && i + 1 < args.size()) {
            every = static_cast<DWORD>(std::atoi(args[++i].c_str()));
        } else if (a == "--answer" && i + 1 < args.size()) {
            const std::string& answer = args[++i];
            size_t eq = answer.rfind('=');
            int id = eq == std::string::npos ? 0 : ButtonId(answer.substr(eq + 1));
            if (!id) {
                std::fprintf(stderr, "posmachine: bad answer \"%s\"\n", answer.c_str());
                return 2;
            }
            answers[answer.substr(0, eq)] = id;
        } else {
            std::fprintf(stderr, "usage: posmachine watch [--timeout S] [--hold MS] [--every MS]"
                                 " [--answer CAPTION=yes|no|ok]...\n");
            return 2;
        }
    }
    QueryPerformanceFrequency(&g_frequency);
    QueryPerformanceCounter(&g_start);
    char windowsDir[MAX_PATH] = "";
    GetWindowsDirectoryA(windowsDir, MAX_PATH);

    HWND progress = nullptr;
    std::string status;
    std::string markers = Markers(windowsDir);
    Say("watching, markers " + markers);
    std::map<HWND, long long> boxesSeen;  // box -> time it may be answered
    bool closed = false;
    while (Millis() < timeout * 1000) {
        // The markers first: the program writes its marker before its window
        // closes, and a look that finds both changed (the watch was not
        // scheduled for a while) reports them in that order.
        std::string nowMarkers = Markers(windowsDir);
        if (nowMarkers != markers) Say("markers " + (markers = nowMarkers));

        TopLevel top;
        top.known = progress;
        EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&top));

        if (!progress && top.progress) {
            progress = top.progress;
            RECT r;
            GetWindowRect(progress, &r);
            Say("window shown at " + std::to_string(r.left) + "," + std::to_string(r.top) + " size " +
                std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
            status = TextOf(GetDlgItem(progress, kStatusControl));
            Say("status " + Quote(status));
        } else if (progress && (!IsWindow(progress) || !IsWindowVisible(progress))) {
            // A marker written between the look at the markers above and this
            // one (the watch was not scheduled for a while) comes before it.
            std::string lastMarkers = Markers(windowsDir);
            if (lastMarkers != markers) Say("markers " + (markers = lastMarkers));
            Say("window closed");
            closed = true;
        } else if (HWND line = progress ? GetDlgItem(progress, kStatusControl) : nullptr) {
            // (A window being destroyed has lost its status line: nothing to read.)
            std::string now = TextOf(line);
            if (now != status) Say("status " + Quote(status = now));
        }

        for (HWND box : top.boxes) {
            std::string caption = TextOf(box);
            if (!boxesSeen.count(box)) {
                BoxContents contents;
                EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&contents));
                std::string buttons;
                for (const auto& b : contents.buttons) buttons += (buttons.empty() ? "" : ",") + b.first;
                Say("box caption " + Quote(caption) + " text " + Quote(contents.text) + " buttons " + buttons +
                    " markers " + markers);
                boxesSeen[box] = Millis() + hold;
            }
            auto answer = answers.find(caption);
            if (answer != answers.end() && boxesSeen[box] >= 0 && Millis() >= boxesSeen[box]) {
                HWND button = GetDlgItem(box, answer->second);
                Say("box answer " + Quote(TextOf(button)));
                PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer->second, BN_CLICKED),
                             reinterpret_cast<LPARAM>(button));
                boxesSeen[box] = -1;  // answered once
            }
        }
        if (closed) return 0;
        Sleep(every);
    }
    Say("timeout");
    return 3;
}

}  // namespace pm
