#include "installer/run_log.h"

#include "platform/trace.h"

#include <cstdio>

namespace {

constexpr char kProgramName[] = "ZanDriverInstaller";
constexpr const char* kArchitecture = sizeof(void*) == 8 ? "x64" : "x86";

}  // namespace

std::string FormatLogLine(const SYSTEMTIME& time, DWORD processId, const char* text) {
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "%04u-%02u-%02u %02u:%02u:%02u.%03u %lu ", time.wYear, time.wMonth,
                  time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds,
                  static_cast<unsigned long>(processId));
    std::string line = prefix;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c == '\n') {
            line += "\\n";
        } else if (*c == '\r') {
            line += "\\r";
        } else {
            line += *c;
        }
    }
    line += "\r\n";
    return line;
}

RunLog::~RunLog() {
    Detach();
    m_file.reset();
}

bool RunLog::Open(const std::string& path, const char* version, const std::string& argumentText) {
    m_file = plat::File(plat::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) {
        char code[16];
        std::snprintf(code, sizeof code, "%08lxh", static_cast<unsigned long>(plat::GetLastError()));
        Trace(("--> Log file \"" + path + "\" could not be opened : GetLastError() = " + code).c_str());
        return false;
    }
    const std::string first = std::string(kProgramName) + " " + version + " " + kArchitecture +
                              ", arguments \"" + argumentText + "\"";
    WriteLine(first.c_str());
    SetTraceSink(&RunLog::TakeTraceLine, this);
    return true;
}

void RunLog::Close(const char* outcome, int exitCode) {
    if (!m_file) return;
    Detach();
    char last[160];
    std::snprintf(last, sizeof last, "Finished: %s, exit code %d", outcome, exitCode);
    WriteLine(last);
    plat::FlushFileBuffers(m_file.get());
    m_file.reset();
}

void RunLog::TakeTraceLine(void* self, const char* text) { static_cast<RunLog*>(self)->WriteLine(text); }

// One write per line, straight to the system: lines of two runs sharing the
// file never mix inside a line, and a reader sees each line at once. A line
// that cannot be written is lost; the run does not depend on its log.
void RunLog::WriteLine(const char* text) {
    SYSTEMTIME now{};
    plat::GetLocalTime(&now);
    const std::string line = FormatLogLine(now, plat::GetCurrentProcessId(), text);
    DWORD written = 0;
    plat::WriteFile(m_file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void RunLog::Detach() {
    if (m_file) SetTraceSink(nullptr, nullptr);
}
