// The run's log file, asked for with /LOG=<path>: every trace line of the run
// appended with the local time and the process ID, after a first line that
// names the program and its arguments and before a last line with the
// outcome and the exit code.
#pragma once

#include "platform/handles.h"

#include <string>

class RunLog {
public:
    RunLog() = default;
    // Stops taking trace lines and closes the file (without a last line).
    ~RunLog();
    RunLog(const RunLog&) = delete;
    RunLog& operator=(const RunLog&) = delete;

    // Opens `path` for appending, creating it when missing, shared for reading
    // and writing (an admin can watch it grow, another run can append its own
    // lines); writes the first line (the program, its `version`, its
    // architecture and the argument text) and from then on takes every trace
    // line.
    // A file that cannot be opened, or that a link leads elsewhere (see
    // log_file_open.h), is traced and the run goes on without a log: false.
    bool Open(const std::string& path, const char* version, const std::string& argumentText);
    bool IsOpen() const { return static_cast<bool>(m_file); }

    // The last line ("Finished: <outcome>, exit code <n>"); then no more trace
    // lines come here, and the file is closed (every line was flushed as written).
    void Close(const char* outcome, int exitCode);

private:
    static void TakeTraceLine(void* self, const char* text);
    void WriteLine(const char* text);
    void Detach();

    plat::File m_file;
};

// One line as it goes to the file: "YYYY-MM-DD HH:MM:SS.mmm <pid> <text>"
// and CR LF, each line feed in the text written as the two characters "\n"
// and each carriage return as "\r".
std::string FormatLogLine(const SYSTEMTIME& time, DWORD processId, const char* text);
