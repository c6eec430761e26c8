// The simulated machine's process: the last error and error mode, named
// mutexes, the programs it starts, the clock, and the debugger trace.
#include "sim/calls.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

namespace sim {
namespace {

// --- Time ------------------------------------------------------------------------

// The local time `elapsedMs` after `start`, the calendar worked out by the
// C library on a zone-free (UTC) time line.
SYSTEMTIME LocalTimeAfter(const SYSTEMTIME& start, std::uint64_t elapsedMs) {
    std::tm startTm{};
    startTm.tm_year = start.wYear - 1900;
    startTm.tm_mon = start.wMonth - 1;
    startTm.tm_mday = start.wDay;
    startTm.tm_hour = start.wHour;
    startTm.tm_min = start.wMinute;
    startTm.tm_sec = start.wSecond;
    const std::uint64_t ms = start.wMilliseconds + elapsedMs;
    const std::time_t seconds = timegm(&startTm) + static_cast<std::time_t>(ms / 1000);
    std::tm now{};
    gmtime_r(&seconds, &now);
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(now.tm_year + 1900);
    time.wMonth = static_cast<WORD>(now.tm_mon + 1);
    time.wDayOfWeek = static_cast<WORD>(now.tm_wday);
    time.wDay = static_cast<WORD>(now.tm_mday);
    time.wHour = static_cast<WORD>(now.tm_hour);
    time.wMinute = static_cast<WORD>(now.tm_min);
    time.wSecond = static_cast<WORD>(now.tm_sec);
    time.wMilliseconds = static_cast<WORD>(ms % 1000);
    return time;
}

}  // namespace
}  // namespace sim

using namespace sim;

namespace plat {

// The operations use it too, inside their own call: only the program's calls count.
void SetLastError(DWORD error) {
    if (!t_inCall) { const Call call("SetLastError"); }
    t_lastError = error;
}

UINT SetErrorMode(UINT mode) {
    const Call call("SetErrorMode");
    if (call.fault) return TheMachine().errorMode.load();
    return TheMachine().errorMode.exchange(mode);
}

DWORD GetLastError() {
    { const Call call("GetLastError"); }
    return t_lastError;
}


// --- Named mutexes ---------------------------------------------------------------------

namespace {

// Marks the mutexes a thread owns as abandoned when the thread ends.
struct MutexOwnerGuard {
    ~MutexOwnerGuard() {
        Impl& m = TheMachine().impl();
        std::lock_guard<std::mutex> lock(m.mu);
        m.AbandonMutexesOfLocked(std::this_thread::get_id());
    }
};

void TakeMutexLocked(Impl::NamedMutex& mutex) {
    thread_local MutexOwnerGuard guard;
    (void)guard;
    mutex.owner = std::this_thread::get_id();
    mutex.recursion = 1;
    mutex.abandoned = false;
}

DWORD WaitForMutexLocked(Impl::NamedMutex& mutex) {
    if (mutex.recursion > 0 && mutex.owner == std::this_thread::get_id()) {
        ++mutex.recursion;
        return WAIT_OBJECT_0;
    }
    if (mutex.heldElsewhere || mutex.recursion > 0) return WAIT_TIMEOUT;
    const bool abandoned = mutex.abandoned;
    TakeMutexLocked(mutex);
    return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

}  // namespace

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    Call call("CreateMutexA");
    Impl& m = call.m;
    if (auto fault = call.fault) {
        SetLastError(*fault);
        return nullptr;
    }
    const std::string key = name != nullptr ? std::string(name) : "<unnamed " + std::to_string(++m.unnamedMutexes) + ">";
    const bool existed = m.mutexes.count(key) != 0;
    Impl::NamedMutex& mutex = m.mutexes[key];
    ++mutex.localHandles;
    // A mutex that exists already is opened as it is; the initial owner counts only for a new one.
    if (!existed && initialOwner) TakeMutexLocked(mutex);
    const std::uintptr_t handle = m.NewHandleLocked();
    m.mutexHandles.emplace(handle, key);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return MakeHandle<HANDLE>(handle);
}

BOOL ReleaseMutex(HANDLE handle) {
    Call call("ReleaseMutex");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    const auto found = m.mutexHandles.find(Id(handle));
    if (found == m.mutexHandles.end()) return Fail(ERROR_INVALID_HANDLE);
    Impl::NamedMutex& mutex = m.mutexes[found->second];
    if (mutex.recursion == 0 || mutex.owner != std::this_thread::get_id()) return Fail(ERROR_NOT_OWNER);
    if (--mutex.recursion == 0) mutex.owner = std::thread::id();
    return TRUE;
}


// --- The process and the programs it starts ------------------------------------------

namespace {

// The pseudo-handle Windows gives for the current process.
const HANDLE kCurrentProcess = MakeHandle<HANDLE>(static_cast<std::uintptr_t>(-1));

}  // namespace

HANDLE GetCurrentProcess() {
    const Call call("GetCurrentProcess");
    return call.fault ? nullptr : kCurrentProcess;
}

BOOL IsWow64Process(HANDLE process, PBOOL wow64) {
    Machine& machine = TheMachine();
    Call call("IsWow64Process");
    if (auto fault = call.fault) return Fail(*fault);
    if (process != kCurrentProcess) return Fail(ERROR_INVALID_HANDLE);  // no other process is simulated
    if (wow64 == nullptr) return Fail(ERROR_NOACCESS);
    *wow64 = machine.wow64 ? TRUE : FALSE;
    return TRUE;
}

// Only a 32-bit process on 64-bit Windows has redirection to turn off; the
// value handed back is what the revert must be given.
BOOL Wow64DisableWow64FsRedirection(PVOID* oldValue) {
    Machine& machine = TheMachine();
    Call call("Wow64DisableWow64FsRedirection");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    if (!machine.wow64) return Fail(ERROR_INVALID_FUNCTION);
    if (oldValue == nullptr) return Fail(ERROR_NOACCESS);
    const auto token = reinterpret_cast<PVOID>(m.NewHandleLocked());
    m.fsRedirectionOff[std::this_thread::get_id()] = token;
    *oldValue = token;
    return TRUE;
}

BOOL Wow64RevertWow64FsRedirection(PVOID oldValue) {
    Call call("Wow64RevertWow64FsRedirection");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    const auto found = m.fsRedirectionOff.find(std::this_thread::get_id());
    if (found == m.fsRedirectionOff.end() || found->second != oldValue) return Fail(ERROR_INVALID_PARAMETER);
    m.fsRedirectionOff.erase(found);
    return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size) {
    Call call("GetModuleFileNameA");
    Impl& m = call.m;
    if (auto fault = call.fault) {
        SetLastError(*fault);
        return 0;
    }
    if (module != nullptr) {  // only the program's own module is simulated
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (path == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    // A path that does not fit is cut short and terminated, and the whole
    // buffer's size returned.
    if (m.modulePath.size() >= size) {
        std::memcpy(path, m.modulePath.data(), size - 1);
        path[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(path, m.modulePath.c_str(), m.modulePath.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(m.modulePath.size());
}

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID, LPCSTR, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation) {
    Call call("CreateProcessA");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    bool standardOutputPassed = false;
    if (startupInfo != nullptr && (startupInfo->dwFlags & STARTF_USESTDHANDLES) && inheritHandles) {
        const auto duplicate = m.stdOutDuplicates.find(Id(startupInfo->hStdOutput));
        standardOutputPassed = duplicate != m.stdOutDuplicates.end() && duplicate->second;
    }
    m.processStarts.push_back({applicationName != nullptr ? applicationName : "",
                               commandLine != nullptr ? commandLine : "", inheritHandles, creationFlags,
                               standardOutputPassed});
    if (startupInfo == nullptr || startupInfo->cb != sizeof(STARTUPINFOA) || processInformation == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // Only a program named by its path is simulated; Windows would search for one.
    if (applicationName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (DWORD error = CheckAnsiPath(applicationName)) return Fail(error);
    const Impl::Resolved file = m.ResolveLocked(applicationName);
    if (file.error != ERROR_SUCCESS) return Fail(file.error);
    if (!file.exists) return Fail(ERROR_FILE_NOT_FOUND);
    if (file.isDir) return Fail(ERROR_ACCESS_DENIED);
    const auto program = m.programs.find(file.key);
    if (program == m.programs.end()) return Fail(ERROR_BAD_EXE_FORMAT);

    auto process = std::make_shared<Impl::Process>();
    process->commandLine = commandLine != nullptr ? commandLine : applicationName;
    process->run = program->second.run;
    process->leftMs = program->second.runsForMs;
    const std::uintptr_t processHandle = m.NewHandleLocked();
    const std::uintptr_t threadHandle = m.NewHandleLocked();
    m.processHandles[processHandle] = {process, false};
    m.processHandles[threadHandle] = {process, true};
    processInformation->hProcess = MakeHandle<HANDLE>(processHandle);
    processInformation->hThread = MakeHandle<HANDLE>(threadHandle);
    processInformation->dwProcessId = static_cast<DWORD>(processHandle);
    processInformation->dwThreadId = static_cast<DWORD>(threadHandle);
    return TRUE;
}

// A wait for a mutex takes it when it is free (the tool waits only with a
// zero timeout); a started program runs to its end on a wait long enough
// for what is left of its running time, and a shorter one times out.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    Call call("WaitForSingleObject");
    Impl& m = call.m;
    if (auto fault = call.fault) {
        SetLastError(*fault);
        return WAIT_FAILED;
    }
    const auto mutex = m.mutexHandles.find(Id(handle));
    if (mutex != m.mutexHandles.end()) return WaitForMutexLocked(m.mutexes[mutex->second]);
    const auto found = m.processHandles.find(Id(handle));
    if (found == m.processHandles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    const std::shared_ptr<Impl::Process> process = found->second.process;
    if (process->ended) return WAIT_OBJECT_0;
    if (milliseconds != INFINITE && milliseconds < process->leftMs) {
        m.nowMs += milliseconds;
        process->leftMs -= milliseconds;
        return WAIT_TIMEOUT;
    }
    m.nowMs += process->leftMs;
    process->leftMs = 0;
    call.Unlock();
    const DWORD exitCode = process->run ? process->run(process->commandLine) : 0;
    std::lock_guard<std::mutex> lock(m.mu);
    process->ended = true;
    process->exitCode = exitCode;
    return WAIT_OBJECT_0;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    Call call("GetExitCodeProcess");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    const auto found = m.processHandles.find(Id(process));
    if (found == m.processHandles.end() || found->second.thread) return Fail(ERROR_INVALID_HANDLE);
    if (exitCode == nullptr) return Fail(ERROR_NOACCESS);
    *exitCode = found->second.process->ended ? found->second.process->exitCode : STILL_ACTIVE;
    return TRUE;
}


// --- Time and trace ----------------------------------------------------------------

void Sleep(DWORD milliseconds) {
    Call call("Sleep");
    if (call.fault) return;
    call.m.nowMs += milliseconds;
    call.m.sleeps.push_back(milliseconds);
    const std::function<void(DWORD)> hook = TheMachine().onSleep;
    call.Unlock();
    if (hook) hook(milliseconds);
}

void GetLocalTime(LPSYSTEMTIME time) {
    std::uint64_t nowMs = 0;
    {
        const Call call("GetLocalTime");
        if (call.fault) return;
        nowMs = call.m.nowMs;
    }
    if (time != nullptr) *time = LocalTimeAfter(Machine::kLocalTimeAtReset, nowMs);
}

DWORD GetCurrentProcessId() {
    const Call call("GetCurrentProcessId");
    return call.fault ? 0 : TheMachine().processId.load();
}

void OutputDebugStringA(LPCSTR text) {
    {
        const Call call("OutputDebugStringA");
        if (text == nullptr || call.fault) return;
        call.m.trace.emplace_back(text);
    }
    if (std::getenv("ZAN_SIM_TRACE") != nullptr) {
        // A debugger shows each message on a line of its own.
        const std::size_t length = std::strlen(text);
        std::fprintf(stderr, "%s%s", text, (length > 0 && text[length - 1] == '\n') ? "" : "\n");
    }
}

}  // namespace plat
