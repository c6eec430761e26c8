// The state of a simulated machine, shared by the test-facing Machine API
// (machine.cpp) and the plat:: operations (one source per API family:
// devices.cpp, registry.cpp, files.cpp, process_time.cpp, windows_input.cpp,
// through calls.h). Every member is guarded by `mu`; the helpers named
// ...Locked expect it held.
#pragma once

#include "sim/machine.h"

#include <cstdio>
#include <deque>
#include <memory>
#include <set>
#include <thread>

namespace sim {

// --- Names compared the way Windows compares them ---------------------------
// Windows folds case for file names, registry names, device IDs and window
// titles; for the ANSI text the tool uses, that is ASCII upper-casing.
char Upper(char c);
std::string ToUpper(std::string text);
bool EqualNoCase(const std::string& a, const std::string& b);
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

// A whole-name match of '*' (any run) and '?' (any one character), ignoring case.
bool WildcardMatch(const std::string& pattern, const std::string& name);

// The strings of a REG_MULTI_SZ value up to its empty string (a REG_SZ value
// gives its one string).
std::vector<std::string> SplitMultiSz(const std::string& bytes);

// A Windows path reduced to its components below the root of drive C:, as
// Windows normalises it: optional "C:" (any case), '\' or '/' separators,
// empty and "." components dropped, ".." going up (never above the root), one
// trailing dot cut from each folder name and all trailing dots and spaces from
// the final name. `error` is set for what cannot name a file here: an empty
// path, another drive, a UNC path, a name with a character Windows forbids.
struct WinPath {
    DWORD error = ERROR_SUCCESS;
    std::vector<std::string> parts;
};
WinPath ParseWinPath(const std::string& path);

// Registry key paths: components between '\', empty ones dropped.
std::vector<std::string> SplitKeyPath(const std::string& path);
std::string JoinUpper(const std::vector<std::string>& parts);

struct Machine::Impl {
    mutable std::mutex mu;

    // --- Faults and call counts -----------------------------------------
    std::map<std::string, int> calls;
    std::map<std::string, std::deque<DWORD>> failNext;
    std::map<std::string, DWORD> failAlways;
    std::map<std::pair<std::string, int>, DWORD> failOnCall;
    // Counts the call; gives the injected error when this call is to fail.
    std::optional<DWORD> EnterLocked(const char* operation);

    // --- Handles: one sequence for every kind, never reused ---------------
    std::uintptr_t lastHandle = 0x1000;
    std::uintptr_t NewHandleLocked() { return lastHandle += 4; }

    // --- Devices ----------------------------------------------------------
    struct DeviceRecord {
        DWORD devInst = 0;
        Device device;
    };
    std::vector<std::unique_ptr<DeviceRecord>> devices;  // in the order added
    std::map<std::string, DeviceRecord*, NoCaseLess> byInstanceId;  // the same records
    DWORD lastDevInst = 0;
    struct SetElement {
        DWORD devInst = 0;
        GUID classGuid{};
        DWORD installFlags = 0;  // the element's install parameters
    };
    // A set is a snapshot of the devices it held when it was obtained.
    struct DeviceSet {
        std::vector<SetElement> elements;
    };
    std::map<std::uintptr_t, DeviceSet> sets;
    DeviceRecord* FindRecordLocked(DWORD devInst);
    DeviceRecord* FindRecordLocked(const std::string& instanceId);
    static std::vector<std::string> EnumKeyParts(const std::string& instanceId);
    // Gives a device with a driver INF its driver key and SPDRP_DRIVER.
    void WriteDriverKeyLocked(DeviceRecord& record);

    // --- Registry below HKEY_LOCAL_MACHINE ----------------------------------
    struct Key {
        std::map<std::string, std::unique_ptr<Key>, NoCaseLess> subkeys;
        std::map<std::string, Value, NoCaseLess> values;
    };
    Key hklm;
    std::set<std::string> deniedKeys;                              // JoinUpper of the path
    std::map<std::uintptr_t, std::vector<std::string>> openKeys;  // handle -> path
    Key* FindKeyLocked(const std::vector<std::string>& parts);
    Key* MakeKeyLocked(const std::vector<std::string>& parts);
    void DeleteKeyLocked(const std::vector<std::string>& parts);

    // --- Files ----------------------------------------------------------------
    std::filesystem::path root;  // the host folder that stands for drive C:
    struct Resolved {
        DWORD error = ERROR_SUCCESS;  // set when a folder on the way is missing
        std::filesystem::path host;   // the existing entry, or the new name in its folder
        bool exists = false;
        bool isDir = false;   // a folder, or a link that leads to one
        bool isLink = false;  // the entry itself is a symbolic link...
        bool leadsNowhere = false;  // ...whose target does not exist
        std::string key;  // the normalised path upper-cased: one name per file
    };
    Resolved ResolveLocked(const WinPath& path) const;
    // The entry of `folder` named `name`, ignoring case, or by its short name.
    std::optional<std::filesystem::path> FindEntryLocked(const std::filesystem::path& folder,
                                                         const std::string& name) const;
    // Short 8.3 names: "<host folder>/<SHORT NAME>" -> the entry's own name.
    std::map<std::string, std::string> shortNames;
    // The Windows path of a host path: "C:\..." below the root, "Z:\..." elsewhere.
    std::string WindowsPathOfHostLocked(const std::filesystem::path& host) const;
    Resolved ResolveLocked(const std::string& windowsPath) const;
    // Creates the folders of `parts` that are missing; false when one cannot be.
    bool MakeFoldersLocked(const std::vector<std::string>& parts);

    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    struct OpenFile {
        std::string key;
        // What the handle is on, as it was when opened: the file or folder
        // every link on the way led to, or the link itself.
        std::filesystem::path host;
        bool isDir = false;
        bool onLink = false;
        bool deleteOnClose = false;
        DWORD access = 0;
        DWORD share = 0;
        std::unique_ptr<std::FILE, FileCloser> stream;  // when opened for reading
        std::uint64_t writePosition = 0;               // where the next write goes, unless appending
    };
    std::map<std::uintptr_t, OpenFile> files;
    struct Search {
        std::vector<WIN32_FIND_DATAA> found;
        std::size_t next = 1;  // found[0] went to FindFirstFileA
    };
    std::map<std::uintptr_t, Search> searches;
    std::set<std::string> undeletable, unreadable, unwritable;  // Resolved::key
    // Deletes the file as DeleteFileA does; the error, or ERROR_SUCCESS.
    DWORD DeleteFileLocked(const std::string& windowsPath);

    // --- Standard output: its handle (none until asked for), the duplicates
    // made of it (handle -> inheritable), what was written to it.
    std::uintptr_t stdOutHandle = 0;
    std::map<std::uintptr_t, bool> stdOutDuplicates;
    std::string stdOutText;
    bool IsStandardOutputLocked(HANDLE handle) const;

    // --- Driver store: the published OEM INF names of its packages ----------
    std::set<std::string, NoCaseLess> packages;

    // --- Named mutexes (names compare exactly) ---------------------------------
    struct NamedMutex {
        std::thread::id owner;  // a thread here; none when free or held elsewhere
        int recursion = 0;
        int localHandles = 0;
        bool openElsewhere = false;
        bool heldElsewhere = false;
        bool abandoned = false;  // its owner ended without releasing it
    };
    std::map<std::string, NamedMutex> mutexes;
    std::map<std::uintptr_t, std::string> mutexHandles;  // handle -> name
    std::uintptr_t unnamedMutexes = 0;
    // The mutex goes once no handle is open on it anywhere.
    void DropMutexIfUnusedLocked(const std::string& name);
    // Every mutex `thread` owns becomes abandoned.
    void AbandonMutexesOfLocked(std::thread::id thread);

    // --- User interface, clock, trace, driver updates ------------------------
    std::deque<int> answers;
    std::vector<MessageBoxCall> boxes;
    std::uint64_t nowMs = 0;
    std::vector<DWORD> sleeps;
    std::vector<std::string> trace;
    std::vector<DriverUpdateCall> driverUpdates;
    std::vector<RegWrite> regWrites;
    struct Window {
        HWND hwnd = nullptr;
        std::string title;
        std::string className;
    };
    std::vector<Window> windows;  // bottom to top
    HWND foreground = nullptr;
    std::vector<KeyInput> inputs;
    // WOW64 file system redirection turned off on a thread (counted per
    // thread id, but one flag is all the tool needs), and the file opens made
    // meanwhile.
    std::map<std::thread::id, PVOID> fsRedirectionOff;
    std::set<std::string> openedWithoutRedirection;
    bool IsWindowLocked(HWND window) const;

    // --- The program's process and the programs it starts -------------------
    std::string modulePath;
    struct Program {
        std::function<DWORD(const std::string&)> run;
        DWORD runsForMs = 0;
    };
    std::map<std::string, Program> programs;  // Resolved::key
    struct Process {
        std::string commandLine;
        std::function<DWORD(const std::string&)> run;
        DWORD leftMs = 0;  // of its running time
        bool ended = false;
        DWORD exitCode = STILL_ACTIVE;
    };
    struct ProcessHandle {
        std::shared_ptr<Process> process;
        bool thread = false;  // the handle of its first thread
    };
    std::map<std::uintptr_t, ProcessHandle> processHandles;
    std::vector<ProcessStart> processStarts;

    // Drops all state and lays out a fresh machine on a new host folder.
    void ResetLocked();
    // Releases open files and removes the host folder.
    void ReleaseFilesLocked();
    ~Impl();
};

}  // namespace sim
