// A simulated Windows machine behind the plat:: operations, for native tests.
//
// It stands beside the seam (platform/), never above or inside it: the native
// builds of the tests and fuzzers link it in place of the real API, and the
// program never includes it.
//
// It holds what the installer touches: a device database, the registry below
// HKEY_LOCAL_MACHINE, a Windows directory on a real temporary folder, message
// boxes answered from a script, a virtual clock, the captured debugger trace,
// top-level windows with keyboard input, and injected faults. A test arranges
// it, runs one operation, and inspects what it holds afterwards.
#pragma once

#include "platform/platform.h"
#include "platform/setup_values.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace sim {

// A registry or device property value: its type and the exact bytes stored.
struct Value {
    DWORD type = REG_NONE;
    std::string bytes;
};

// REG_SZ with its terminating NUL.
Value Sz(const std::string& text);
// REG_MULTI_SZ: each string with its NUL, then the final empty string.
Value MultiSz(const std::vector<std::string>& strings);
// The text of a REG_SZ value up to its first NUL.
std::string SzText(const Value& value);

// The setup classes and the serial-port interface class the devices use.
using plat::kComPortInterface;
using plat::kMultifunctionClass;
using plat::kPortsClass;
using plat::kSystemClass;

bool SameGuid(const GUID& a, const GUID& b);

struct Device {
    std::string instanceId;
    GUID classGuid = kSystemClass;
    bool present = true;
    std::vector<GUID> interfaces;
    // Device registry properties by SPDRP_* code.
    std::map<DWORD, Value> properties;
    // Set by a successful driver update: the INF path it was given. A device
    // with one has a driver: a driver key (SPDRP_DRIVER names it) whose
    // "InfPath" is the INF's file name.
    std::string driverInf;
    // The driver package in the store the device's driver comes from, by its
    // published OEM INF name ("oem12.inf"); empty for none.
    std::string driverPackage;
    // Install parameter flags (DI_NEEDREBOOT, DI_NEEDRESTART) its removal
    // leaves in the element it was removed through.
    DWORD installFlagsOnRemoval = 0;
};

struct MessageBoxCall {
    std::string text;
    std::string caption;
    UINT type = 0;
    int answer = 0;
};

struct DriverUpdateCall {
    std::string hardwareId;
    std::string infPath;
    DWORD flags = 0;
    bool restartOutput = false;  // the caller asked whether a restart is needed
};

// One registry value write: the byte count the caller gave, before the
// registry's own handling of a NUL that follows uncounted.
struct RegWrite {
    std::string valueName;
    DWORD type = REG_NONE;
    DWORD count = 0;
};

struct KeyInput {
    HWND window = nullptr;  // the foreground window when the input was sent
    WORD vk = 0;
    WORD scan = 0;
    DWORD flags = 0;
    DWORD time = 0;
    ULONG_PTR extraInfo = 0;
};

// One CreateProcessA call as the caller made it.
struct ProcessStart {
    std::string applicationName;  // "" when none was given
    std::string commandLine;
    BOOL inheritHandles = FALSE;
    DWORD creationFlags = 0;
    // Given this process's standard output: STARTF_USESTDHANDLES with an
    // inheritable duplicate of it, and handles inherited.
    bool standardOutputPassed = false;
};

// What a machine holds open for the plat:: callers: handles obtained and not
// yet released.
struct HandleCounts {
    int deviceSets = 0;
    int keys = 0;
    int files = 0;
    int searches = 0;
    int mutexes = 0;
    int processes = 0;  // process and thread handles of started programs
    int duplicates = 0;  // duplicates of the standard output's handle
};

// Every member may be called from any thread; the machine guards its state.
// The public settings (defaultAnswer, foregroundLocked) are atomic; the hooks
// (onSleep, onMessageBox) are set before the threads that use them start.
class Machine {
public:
    // A new machine, already Reset.
    Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Forget everything and start a new machine: no devices, an empty registry
    // but for the keys devices bring, a fresh Windows directory "C:\WINDOWS"
    // with an empty "INF" folder, the clock at 0. Handles still open are
    // released, faults cleared, hooks and settings back to their defaults.
    void Reset();

    // --- Devices ---------------------------------------------------------
    // Adds a device and its "SYSTEM\CurrentControlSet\Enum\<id>\Device Parameters"
    // key. Devices enumerate in the order they were added. A device whose
    // instance ID is already present replaces it in place.
    void AddDevice(const Device& device);
    // The device with this instance ID (case-insensitive), or nullptr once removed.
    // The pointer holds until the device is removed or replaced or the machine
    // Reset; read through it while no other thread works the machine.
    const Device* FindDevice(const std::string& instanceId) const;
    std::vector<Device> Devices() const;

    // --- Registry (below HKEY_LOCAL_MACHINE) -----------------------------
    // Paths are relative to HKEY_LOCAL_MACHINE, components joined by '\'.
    void CreateKey(const std::string& path);
    // Creates the key when needed and stores the value.
    void SetValue(const std::string& keyPath, const std::string& name, const Value& value);
    bool KeyExists(const std::string& path) const;
    // Deletes the key and every key below it, as a person with regedit would.
    void DeleteKey(const std::string& path);
    std::optional<Value> GetValue(const std::string& keyPath, const std::string& name) const;
    // Opening this key fails with ERROR_ACCESS_DENIED.
    void DenyKeyAccess(const std::string& path);

    // --- Files -------------------------------------------------------------
    static constexpr const char* kWindowsDir = "C:\\WINDOWS";
    // How SHGetFolderPathA answers for the Windows folder: S_OK with its path
    // (the default); S_FALSE with the path all the same, as for a folder that
    // does not exist; or S_OK with an empty path.
    enum class FolderAnswer { Path, Missing, EmptyPath };
    std::atomic<FolderAnswer> windowsFolderAnswer{FolderAnswer::Path};
    // The host path a Windows path maps to (components matched case-insensitively);
    // empty when the path does not resolve (bad drive, missing folder, bad name).
    std::filesystem::path HostPath(const std::string& windowsPath) const;
    // Creates the file (and its folders) with these bytes.
    void PutFile(const std::string& windowsPath, const std::string& bytes = "");
    // Creates the folder and those above it.
    void PutFolder(const std::string& windowsPath);
    bool FileExists(const std::string& windowsPath) const;
    std::optional<std::string> ReadWholeFile(const std::string& windowsPath) const;
    // File names in a folder, sorted as the file search returns them.
    std::vector<std::string> ListFolder(const std::string& windowsPath) const;
    // Deleting the file fails with ERROR_ACCESS_DENIED.
    void MakeUndeletable(const std::string& windowsPath);
    // Opening the file for reading fails with ERROR_SHARING_VIOLATION.
    void MakeUnreadable(const std::string& windowsPath);
    // Creating, truncating or opening the file for writing fails with ERROR_ACCESS_DENIED.
    void MakeUnwritable(const std::string& windowsPath);
    // A symbolic link at `linkPath` to `targetPath`, which need not exist; to
    // a folder when the target is one. Every path through it is followed; a
    // handle opened with FILE_FLAG_OPEN_REPARSE_POINT is on the link itself.
    void AddSymbolicLink(const std::string& linkPath, const std::string& targetPath);
    // A second name for the existing file at `existingPath`.
    void AddHardLink(const std::string& linkPath, const std::string& existingPath);
    // Gives the existing entry at `windowsPath` the short 8.3 name `shortName`
    // ("PROGRA~3"), by which paths may then name it.
    void SetShortName(const std::string& windowsPath, const std::string& shortName);
    // As Wine 8 does: FILE_FLAG_OPEN_REPARSE_POINT is ignored and every link
    // followed, so that no handle is on a link itself.
    std::atomic<bool> linksAlwaysFollowed{false};
    // Called on every CreateFileA, on the calling thread, before it looks at
    // the files: another process may change them in that moment.
    std::function<void(const std::string& path, DWORD disposition)> onCreateFile;

    // --- Driver store ------------------------------------------------------
    // Publishes a driver package as the system does: "INF\<oemInfName>" with
    // these bytes, its PNF companion ("INF\<stem>.PNF"), and the package in
    // the store. Devices use it through Device::driverPackage.
    void PublishDriverPackage(const std::string& oemInfName, const std::string& infBytes);
    // The published names of the packages in the store, sorted.
    std::vector<std::string> DriverPackages() const;

    // --- Message boxes -----------------------------------------------------
    // Answers given to the next boxes, in order; once used up, an OK box is
    // answered IDOK and any other box `defaultAnswer`.
    void QueueAnswers(const std::vector<int>& answers);
    std::atomic<int> defaultAnswer{IDNO};
    std::vector<MessageBoxCall> MessageBoxes() const;
    // Called on every box, on the calling thread, after it was recorded and
    // before its answer is returned: the moment the box is on the screen.
    std::function<void(const MessageBoxCall&)> onMessageBox;

    // --- Clock, process, trace, driver updates -----------------------------
    // The virtual clock in milliseconds since Reset; GetLocalTime gives
    // kLocalTimeAtReset plus that much.
    std::uint64_t NowMs() const;
    static constexpr SYSTEMTIME kLocalTimeAtReset = {2024, 5, 1, 6, 8, 30, 0, 0};  // a Monday
    // What GetCurrentProcessId returns.
    static constexpr DWORD kDefaultProcessId = 3172;
    std::atomic<DWORD> processId{kDefaultProcessId};
    std::vector<DWORD> Sleeps() const;
    // Called on every Sleep, on the sleeping thread, after the clock moved.
    std::function<void(DWORD)> onSleep;
    std::vector<std::string> Trace() const;
    void ClearTrace();
    std::vector<DriverUpdateCall> DriverUpdates() const;
    // A successful driver update says a restart is needed (to a caller that asks).
    std::atomic<bool> driverUpdateNeedsRestart{false};
    std::vector<RegWrite> RegWrites() const;

    // --- Standard output ---------------------------------------------------------
    // The program's standard output as its starter gave it: none (a program
    // started from the desktop), a console, a pipe or a file. What is written
    // to it, or to a duplicate of its handle, is kept.
    enum class StandardOutput { None, Console, Pipe, File };
    std::atomic<StandardOutput> standardOutput{StandardOutput::None};
    std::string StandardOutputText() const;

    // Everything a run could change, as text: the devices with their
    // properties and drivers, the registry, every file below C:\ with its
    // bytes, the driver store. Two equal texts: nothing was changed.
    std::string StateText() const;

    // --- Named mutexes ----------------------------------------------------------
    // A mutex belongs to the thread that took it, counts its recursion, and
    // is given up when that thread ends (the next wait sees it abandoned);
    // the object goes when its last handle is closed. Waits do not block: a
    // mutex held elsewhere gives WAIT_TIMEOUT at once, whatever the timeout.
    // These stand for another process: it opens the mutex (creating it when
    // missing) and holds it, or it ends while holding it (abandoned, for the
    // handles still open here).
    void HoldMutexElsewhere(const std::string& name);
    void AbandonMutexElsewhere(const std::string& name);
    // Whether a mutex of this name exists, and whether a thread here owns it.
    bool MutexExists(const std::string& name) const;
    bool MutexOwnedHere(const std::string& name) const;

    // --- Windows and keyboard input ----------------------------------------
    // A top-level window, above those added before; its class is a dialog's.
    HWND AddWindow(const std::string& title);
    HWND AddWindow(const std::string& title, const std::string& className);
    void CloseWindow(HWND window);
    // While set, SetForegroundWindow succeeds but leaves the foreground unchanged.
    std::atomic<bool> foregroundLocked{false};
    std::vector<KeyInput> Inputs() const;
    void ClearInputs();

    // --- The program's process and the programs it starts -----------------
    // Whether the program runs as a 32-bit process on 64-bit Windows
    // (IsWow64Process of the current process).
    std::atomic<bool> wow64{false};
    // Under WOW64, whether a thread has its file system redirection turned
    // off now, and the paths of the files and folders opened (CreateFileA)
    // while it was. Paths are not redirected here; the test sees whether the
    // code asked.
    bool FsRedirectionOff() const;
    std::set<std::string> OpenedWithoutRedirection() const;
    // The process's error mode, as SetErrorMode last set it (0 after Reset).
    std::atomic<UINT> errorMode{0};
    // The program's own file, as GetModuleFileNameA(nullptr) gives it;
    // "C:\ZAN\ZanDriverInstaller.exe" after Reset.
    void SetModulePath(const std::string& windowsPath);
    // Puts a program file in place that CreateProcessA can start. A started
    // program takes `runsForMs` of the virtual clock: a wait that gives it
    // that long (or INFINITE) sees it end, the clock moved on, and only then
    // does `run` get its command line, arrange the machine as the program
    // would and return its exit code; a shorter wait ends with WAIT_TIMEOUT
    // after its timeout, and the program is still running (GetExitCodeProcess
    // gives STILL_ACTIVE). Any other file CreateProcessA is given fails with
    // ERROR_BAD_EXE_FORMAT.
    void AddProgram(const std::string& windowsPath, std::function<DWORD(const std::string&)> run,
                    DWORD runsForMs = 0);
    // Every CreateProcessA call, started or not.
    std::vector<ProcessStart> ProcessStarts() const;

    // --- Faults ------------------------------------------------------------
    // The next call (or every call from now on) of the named operation fails
    // with this last error (or, for the registry, this return code). The name
    // must be one of the seam's operations (platform/operations.h) other than
    // those of kOperationsWithoutFault; any other throws std::invalid_argument.
    // The operations that cannot fail on Windows fail here in a defined way,
    // so that a test can show the program does not depend on them:
    //   Sleep                returns at once: the clock does not move, and
    //                        neither Sleeps() nor onSleep sees the pause;
    //   GetLocalTime         leaves the structure as the caller gave it;
    //   GetCurrentProcessId  gives 0;
    //   OutputDebugStringA   the text reaches no debugger (not in Trace());
    //   SetErrorMode         leaves the mode unchanged and returns it;
    //   GetCurrentProcess    gives a null handle.
    void FailNext(const std::string& operation, DWORD error);
    // The call numbered `call` (counting from 1 since Reset) fails so.
    void FailOnCall(const std::string& operation, int call, DWORD error);
    void FailAlways(const std::string& operation, DWORD error);
    void ClearFaults();
    // How often the named operation has been called since Reset.
    int Calls(const std::string& operation) const;

    // Handles handed out through plat:: and not yet released.
    HandleCounts OpenHandles() const;

    ~Machine();

    // --- Used by the plat:: implementation ---------------------------------
    struct Impl;
    Impl& impl();

private:
    Impl* impl_ = nullptr;
};

// The operations that carry the last error, through which every other
// operation's fault is told: they have no fault of their own.
inline constexpr std::string_view kOperationsWithoutFault[] = {"GetLastError", "SetLastError"};

// The machine behind plat:: on this system.
Machine& TheMachine();

}  // namespace sim
