#include "run/wow64_handover.h"

#include "installer/windows_folder.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/trace.h"
#include "run/captured_output.h"

#include <cstdio>
#include <vector>

namespace {

bool RunningUnderWow64() {
    BOOL wow64 = FALSE;
    return plat::IsWow64Process(plat::GetCurrentProcess(), &wow64) && wow64;
}

// <own folder>\x64\ZanDriverInstaller.exe, or "" with `error` set when the
// program's own path cannot be read whole.
std::string NativeProgramPath(DWORD& error) {
    char own[MAX_PATH] = {};
    const DWORD length = plat::GetModuleFileNameA(nullptr, own, sizeof(own));
    if (length == 0) {
        error = plat::GetLastError();
        return "";
    }
    if (length >= sizeof(own)) {  // cut short
        error = ERROR_INSUFFICIENT_BUFFER;
        return "";
    }
    const std::string path(own, length);
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string::npos) {
        error = ERROR_INVALID_NAME;
        return "";
    }
    return path.substr(0, slash + 1) + kNativeProgram;
}

// Nothing was started; FailHandOver tells the person.
HandOver NotStarted(HandOver handOver, DWORD error) {
    TraceF("--> Error starting the 64-bit program : %08lxh", static_cast<unsigned long>(error));
    handOver.error = error;
    return handOver;
}

}  // namespace

std::optional<HandOver> HandOverOnWow64(const std::string& argumentText, bool passOutput) {
    if (!RunningUnderWow64()) return std::nullopt;

    HandOver handOver;
    DWORD pathError = ERROR_SUCCESS;
    const std::string program = NativeProgramPath(pathError);
    if (program.empty()) return NotStarted(handOver, pathError);
    handOver.program = program;
    Trace(("--> 32-bit program on 64-bit Windows, handing over to " + program).c_str());

    // The program's own command line: its quoted path, then the text it is to see.
    const std::string commandLine = "\"" + program + "\" " + argumentText;
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    // Only handles made inheritable are inherited: this duplicate is the one.
    plat::KernelHandle output;
    const HANDLE captured = passOutput ? CapturedOutput() : nullptr;
    if (captured != nullptr) {
        if (plat::DuplicateHandle(plat::GetCurrentProcess(), captured, plat::GetCurrentProcess(), output.out(), 0,
                                  TRUE, DUPLICATE_SAME_ACCESS)) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = output.get();
        } else {
            TraceF("--> Standard output not passed on : GetLastError() = %08lxh",
                   static_cast<unsigned long>(plat::GetLastError()));
        }
    }
    PROCESS_INFORMATION started = {};
    if (!plat::CreateProcessA(program.c_str(), writable.data(), nullptr, nullptr, output ? TRUE : FALSE, 0, nullptr,
                              nullptr, &startup, &started))
        return NotStarted(handOver, plat::GetLastError());
    output.reset();
    const plat::KernelHandle process(started.hProcess);
    const plat::KernelHandle thread(started.hThread);

    handOver.started = true;
    DWORD exitCode = 0;
    if (plat::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) {
        TraceF("--> Error waiting for the 64-bit program : %08lxh", static_cast<unsigned long>(plat::GetLastError()));
        return handOver;
    }
    if (!plat::GetExitCodeProcess(process.get(), &exitCode)) {
        TraceF("--> Error reading the 64-bit program's exit code : %08lxh",
               static_cast<unsigned long>(plat::GetLastError()));
        return handOver;
    }
    TraceF("--> 64-bit program ended with exit code %lu", static_cast<unsigned long>(exitCode));
    handOver.exitCode = static_cast<int>(exitCode);
    return handOver;
}

RunOutcome FailHandOver(const HandOver& handOver, bool unattended) {
    const std::string& program = handOver.program;
    const DWORD error = handOver.error;
    const std::string windowsDir = ReadWindowsDirectory();
    if (!windowsDir.empty())
        DeleteMarkers(windowsDir);
    else
        Trace("--> Windows directory not available");

    char code[16];
    std::snprintf(code, sizeof(code), "%lu", static_cast<unsigned long>(error));
    const std::string text =
        std::string("This is the 32-bit ZanDriverInstaller.exe: it cannot install or remove drivers on "
                    "64-bit Windows, and the 64-bit program could not be started (error ") +
        code + ").\n\nRun the 64-bit program instead:\n" + (program.empty() ? kNativeProgram : program);
    return ReportFailedRun(nullptr, text.c_str(), MB_OK | MB_ICONERROR, unattended, windowsDir);
}

