#include "run/run_log.h"

#include "run/log_file_open.h"

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
    // A 32-bit program on 64-bit Windows sees System32 through SysWOW64: with
    // redirection off it opens the same file as the 64-bit program it hands
    // over to (a path below System32, or a relative one there).
    // The checks of the path run with it off too: they see the file opened.
    PVOID redirection = nullptr;
    const bool redirectionOff = plat::Wow64DisableWow64FsRedirection(&redirection);
    m_file = OpenLogFile(path);
    if (redirectionOff) plat::Wow64RevertWow64FsRedirection(redirection);
    if (!m_file) return false;
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
    m_file.reset();
}

void RunLog::TakeTraceLine(void* self, const char* text) { static_cast<RunLog*>(self)->WriteLine(text); }

// One write per line, straight to the system, and flushed to the disk: lines
// of two runs sharing the file never mix inside a line, a reader sees each
// line at once, and a machine that stops dead keeps the lines before. A line
// that cannot be written is lost; the run does not depend on its log.
void RunLog::WriteLine(const char* text) {
    SYSTEMTIME now{};
    plat::GetLocalTime(&now);
    const std::string line = FormatLogLine(now, plat::GetCurrentProcessId(), text);
    DWORD written = 0;
    if (plat::WriteFile(m_file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
        plat::FlushFileBuffers(m_file.get());
}

void RunLog::Detach() {
    if (m_file) SetTraceSink(nullptr, nullptr);
}
