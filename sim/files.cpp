// The simulated machine's files and folders: opening, reading, writing,
// deleting and searching them, what a handle leads to, paths made full and
// long, the Windows folder; and closing any handle.
#include "sim/calls.h"

#include <sys/stat.h>

#include <cstring>

namespace sim {
namespace {

// --- Files ---------------------------------------------------------------------

// Access to a file's data, as the generic and the specific rights give it.
bool ReadsData(DWORD access) { return (access & (GENERIC_READ | FILE_READ_DATA)) != 0; }
bool WritesData(DWORD access) { return (access & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0; }
// A handle with the right to append but not to write anywhere: every write
// goes to the end of the file.
bool AppendsOnly(DWORD access) {
    return (access & FILE_APPEND_DATA) != 0 && (access & (GENERIC_WRITE | FILE_WRITE_DATA)) == 0;
}

// Whether a new open of the file with this access and sharing collides with
// the handles already open on it: reading, writing or deleting that either
// side does not share.
bool SharingConflict(const Impl& m, const std::string& key, DWORD access, DWORD share) {
    for (const auto& entry : m.files) {
        const Impl::OpenFile& open = entry.second;
        if (open.key != key) continue;
        if ((ReadsData(access) && !(open.share & FILE_SHARE_READ)) ||
            (WritesData(access) && !(open.share & FILE_SHARE_WRITE)) ||
            (ReadsData(open.access) && !(share & FILE_SHARE_READ)) ||
            (WritesData(open.access) && !(share & FILE_SHARE_WRITE)) ||
            ((access & DELETE) && !(open.share & FILE_SHARE_DELETE)) ||
            ((open.access & DELETE) && !(share & FILE_SHARE_DELETE))) {
            return true;
        }
    }
    return false;
}

WIN32_FIND_DATAA FindData(const std::string& name, bool isDir, std::uintmax_t size) {
    WIN32_FIND_DATAA data;
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    std::strncpy(data.cFileName, name.c_str(), MAX_PATH - 1);
    return data;
}


// A path handed out as the path functions do: its length when it fits with
// its NUL, else the size needed (with the NUL), leaving the buffer alone.
DWORD CopyPathOut(const std::string& path, LPSTR buffer, DWORD size) {
    const DWORD length = static_cast<DWORD>(path.size());
    if (buffer == nullptr || size <= length) return length + 1;
    std::memcpy(buffer, path.c_str(), length + 1);
    return length;
}

constexpr DWORD kWindowsDirLength = sizeof "C:\\WINDOWS" - 1;
// What an unset stack buffer holds in a Windows debug build.
constexpr unsigned char kUnsetFill = 0xCC;

}  // namespace
}  // namespace sim

using namespace sim;

namespace plat {

BOOL DeleteFileA(LPCSTR path) {
    Call call("DeleteFileA");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    if (DWORD error = CheckAnsiPath(path)) return Fail(error);
    if (DWORD error = m.DeleteFileLocked(path)) return Fail(error);
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR path) {
    Call call("GetFileAttributesA");
    Impl& m = call.m;
    if (auto fault = call.fault) {
        SetLastError(*fault);
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD error = CheckAnsiPath(path);
    const Impl::Resolved file = error == ERROR_SUCCESS ? m.ResolveLocked(path) : Impl::Resolved{};
    if (error == ERROR_SUCCESS) error = file.error;
    if (error == ERROR_SUCCESS && !file.exists) error = ERROR_FILE_NOT_FOUND;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    return file.isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
    Machine& machine = TheMachine();
    if (machine.onCreateFile) machine.onCreateFile(path != nullptr ? path : "", disposition);
    Call call("CreateFileA");
    Impl& m = call.m;
    if (auto fault = call.fault) return FailHandle(*fault);
    if (DWORD error = CheckAnsiPath(path)) return FailHandle(error);
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
        (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE))) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    if (!m.fsRedirectionOff.empty()) m.openedWithoutRedirection.insert(path);
    const Impl::Resolved file = m.ResolveLocked(path);
    if (file.error != ERROR_SUCCESS) return FailHandle(file.error);
    // With FILE_FLAG_OPEN_REPARSE_POINT a link is opened as itself; otherwise
    // it is followed, and one that leads nowhere is a name without a file.
    const bool onLink =
        file.isLink && (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0 && !machine.linksAlwaysFollowed;
    const bool openFolder = file.isDir && !onLink;
    if (openFolder && (!(flags & FILE_FLAG_BACKUP_SEMANTICS) || disposition == CREATE_ALWAYS ||
                       disposition == TRUNCATE_EXISTING)) {
        return FailHandle(ERROR_ACCESS_DENIED);
    }
    const bool fileThere = file.exists && (onLink || !file.leadsNowhere);
    if (!fileThere && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) {
        return FailHandle(ERROR_FILE_NOT_FOUND);
    }
    if (file.exists && disposition == CREATE_NEW) return FailHandle(ERROR_FILE_EXISTS);

    // A link that leads nowhere is followed to create its target.
    const bool creates = !fileThere;
    const bool truncates =
        fileThere && !openFolder && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    if ((WritesData(access) || creates || truncates) && m.unwritable.count(file.key) != 0) {
        return FailHandle(ERROR_ACCESS_DENIED);
    }
    if (ReadsData(access) && m.unreadable.count(file.key) != 0) {
        return FailHandle(ERROR_SHARING_VIOLATION);
    }
    if (SharingConflict(m, file.key, access, share)) return FailHandle(ERROR_SHARING_VIOLATION);

    if (creates || truncates) {
        std::FILE* created = std::fopen(file.host.c_str(), "wb");
        if (created == nullptr) return FailHandle(ERROR_ACCESS_DENIED);
        std::fclose(created);
    }
    Impl::OpenFile open;
    open.key = file.key;
    std::error_code ec;
    open.host = onLink ? fs::weakly_canonical(file.host.parent_path(), ec) / file.host.filename()
                       : fs::weakly_canonical(file.host, ec);
    open.isDir = openFolder;
    open.onLink = onLink;
    open.access = access;
    open.share = share;
    if (ReadsData(access) && !openFolder && !onLink) {
        open.stream.reset(std::fopen(file.host.c_str(), "rb"));
        if (!open.stream) return FailHandle(ERROR_ACCESS_DENIED);
    }
    const std::uintptr_t handle = m.NewHandleLocked();
    m.files.emplace(handle, std::move(open));
    // Windows tells an overwritten or reopened file from a new one this way.
    const bool mayCreate = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    if (mayCreate) SetLastError(file.exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return MakeHandle<HANDLE>(handle);
}

namespace {

// What ReadFile and WriteFile first do alike, once `call` is open: the count
// is zeroed and the open file behind `file` returned; nullptr, with the last
// error set, when the call is to fail before any transfer.
Impl::OpenFile* TransferTarget(const Call& call, HANDLE file, const void* buffer, DWORD size, LPDWORD count,
                               LPOVERLAPPED overlapped) {
    if (count != nullptr) *count = 0;
    DWORD error = ERROR_SUCCESS;
    const auto found = call.m.files.find(Id(file));
    if (auto fault = call.fault) {
        error = *fault;
    } else if (found == call.m.files.end()) {
        error = ERROR_INVALID_HANDLE;
    } else if (overlapped != nullptr || count == nullptr) {
        error = ERROR_INVALID_PARAMETER;
    } else if (buffer == nullptr && size != 0) {
        error = ERROR_NOACCESS;
    }
    if (error == ERROR_SUCCESS) return &found->second;
    SetLastError(error);
    return nullptr;
}

}  // namespace

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
    const Call call("ReadFile");
    Impl::OpenFile* open = TransferTarget(call, file, buffer, toRead, read, overlapped);
    if (open == nullptr) return FALSE;
    if (!open->stream) return Fail(ERROR_ACCESS_DENIED);
    *read = static_cast<DWORD>(std::fread(buffer, 1, toRead, open->stream.get()));
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) {
    const Call call("WriteFile");
    if (!call.fault && call.m.IsStandardOutputLocked(file)) {
        if (written == nullptr || overlapped != nullptr) return Fail(ERROR_INVALID_PARAMETER);
        if (buffer == nullptr && toWrite != 0) return Fail(ERROR_NOACCESS);
        call.m.stdOutText.append(static_cast<const char*>(buffer), toWrite);
        *written = toWrite;
        return TRUE;
    }
    Impl::OpenFile* target = TransferTarget(call, file, buffer, toWrite, written, overlapped);
    if (target == nullptr) return FALSE;
    Impl::OpenFile& open = *target;
    if (!WritesData(open.access) || open.isDir || open.onLink) return Fail(ERROR_ACCESS_DENIED);
    // Straight to the host file, so that a reader sees each write at once.
    std::unique_ptr<std::FILE, Impl::FileCloser> host(std::fopen(open.host.c_str(), "r+b"));
    if (!host) return Fail(ERROR_ACCESS_DENIED);
    const bool seeked = AppendsOnly(open.access)
                            ? std::fseek(host.get(), 0, SEEK_END) == 0
                            : std::fseek(host.get(), static_cast<long>(open.writePosition), SEEK_SET) == 0;
    if (!seeked) return Fail(ERROR_ACCESS_DENIED);
    const std::size_t put = std::fwrite(buffer, 1, toWrite, host.get());
    open.writePosition = static_cast<std::uint64_t>(std::ftell(host.get()));
    if (std::fflush(host.get()) != 0 || put != toWrite) return Fail(ERROR_DISK_FULL);
    *written = static_cast<DWORD>(put);
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    Call call("FlushFileBuffers");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    const auto found = m.files.find(Id(file));
    if (found == m.files.end()) return Fail(ERROR_INVALID_HANDLE);
    if (!WritesData(found->second.access)) return Fail(ERROR_ACCESS_DENIED);
    return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    Call call("GetFileInformationByHandle");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    const auto found = m.files.find(Id(file));
    if (found == m.files.end()) return Fail(ERROR_INVALID_HANDLE);
    if (information == nullptr) return Fail(ERROR_NOACCESS);
    const Impl::OpenFile& open = found->second;
    struct stat entry {};
    if (::lstat(open.host.c_str(), &entry) != 0) return Fail(ERROR_FILE_NOT_FOUND);
    std::error_code ec;
    std::memset(information, 0, sizeof *information);
    if (open.onLink) {
        information->dwFileAttributes =
            FILE_ATTRIBUTE_REPARSE_POINT | (fs::is_directory(open.host, ec) ? FILE_ATTRIBUTE_DIRECTORY : 0);
    } else {
        information->dwFileAttributes = open.isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    }
    // A folder has one name, as on NTFS (a Unix folder counts its subfolders' links too).
    information->nNumberOfLinks = open.isDir || open.onLink ? 1 : static_cast<DWORD>(entry.st_nlink);
    information->dwVolumeSerialNumber = 0x5A4E0001;
    information->nFileIndexHigh = static_cast<DWORD>(static_cast<std::uint64_t>(entry.st_ino) >> 32);
    information->nFileIndexLow = static_cast<DWORD>(entry.st_ino & 0xFFFFFFFFu);
    if (!open.isDir && !open.onLink) {
        information->nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(entry.st_size) >> 32);
        information->nFileSizeLow = static_cast<DWORD>(entry.st_size & 0xFFFFFFFF);
    }
    return TRUE;
}

DWORD GetFinalPathNameByHandleA(HANDLE file, LPSTR path, DWORD size, DWORD flags) {
    Call call("GetFinalPathNameByHandleA");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    const auto found = m.files.find(Id(file));
    if (found == m.files.end()) return Fail(ERROR_INVALID_HANDLE);
    if (flags != (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)) return Fail(ERROR_INVALID_PARAMETER);
    return CopyPathOut("\\\\?\\" + m.WindowsPathOfHostLocked(found->second.host), path, size);
}

BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID information,
                                DWORD size) {
    Call call("SetFileInformationByHandle");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    const auto found = m.files.find(Id(file));
    if (found == m.files.end()) return Fail(ERROR_INVALID_HANDLE);
    // Only the deletion on close is simulated.
    if (infoClass != FileDispositionInfo || information == nullptr || size < sizeof(FILE_DISPOSITION_INFO)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!(found->second.access & DELETE)) return Fail(ERROR_ACCESS_DENIED);
    found->second.deleteOnClose = static_cast<const FILE_DISPOSITION_INFO*>(information)->DeleteFile != FALSE;
    return TRUE;
}

// The current folder is the root of drive C:, as ParseWinPath takes a relative path.
DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart) {
    Call call("GetFullPathNameA");
    if (auto fault = call.fault) return Fail(*fault);
    if (path == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const sim::WinPath parsed = sim::ParseWinPath(path);
    if (parsed.error != ERROR_SUCCESS) return Fail(parsed.error);
    std::string full = "C:";
    for (const std::string& part : parsed.parts) full += "\\" + part;
    if (parsed.parts.empty()) full += "\\";
    const DWORD length = CopyPathOut(full, buffer, size);
    if (filePart != nullptr) *filePart = length < size && !parsed.parts.empty() ? buffer + full.rfind('\\') + 1 : nullptr;
    return length;
}

DWORD GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD size) {
    Call call("GetLongPathNameA");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    if (DWORD error = CheckAnsiPath(shortPath)) return Fail(error);
    const Impl::Resolved entry = m.ResolveLocked(shortPath);
    if (entry.error != ERROR_SUCCESS) return Fail(entry.error);
    if (!entry.exists) return Fail(ERROR_FILE_NOT_FOUND);
    // The names as the folders hold them; links on the way are named, not followed.
    std::string path = "C:";
    for (const fs::path& part : entry.host.lexically_relative(m.root)) {
        if (part != ".") path += "\\" + part.string();
    }
    if (path == "C:") path += "\\";
    return CopyPathOut(path, longPath, size);
}

BOOL CloseHandle(HANDLE handle) {
    Call call("CloseHandle");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    const auto file = m.files.find(Id(handle));
    if (file != m.files.end()) {
        const bool remove = file->second.deleteOnClose;
        const fs::path host = file->second.host;
        m.files.erase(file);  // closes its stream first
        std::error_code ec;
        if (remove) fs::remove(host, ec);
        return TRUE;
    }
    if (m.processHandles.erase(Id(handle)) != 0) return TRUE;
    if (m.stdOutDuplicates.erase(Id(handle)) != 0) return TRUE;
    if (Id(handle) != 0 && Id(handle) == m.stdOutHandle) {
        m.stdOutHandle = 0;
        return TRUE;
    }
    const auto mutex = m.mutexHandles.find(Id(handle));
    if (mutex == m.mutexHandles.end()) return Fail(ERROR_INVALID_HANDLE);
    // Ownership stays with its thread; the object goes with its last handle.
    const std::string name = mutex->second;
    m.mutexHandles.erase(mutex);
    --m.mutexes[name].localHandles;
    m.DropMutexIfUnusedLocked(name);
    return TRUE;
}

// The standard output's handle is made when first asked for; without one
// (a program started from the desktop) the answer is null.
HANDLE GetStdHandle(DWORD stdHandle) {
    Machine& machine = TheMachine();
    Call call("GetStdHandle");
    Impl& m = call.m;
    if (auto fault = call.fault) return FailHandle(*fault);
    if (stdHandle != STD_OUTPUT_HANDLE || machine.standardOutput == Machine::StandardOutput::None) return nullptr;
    if (m.stdOutHandle == 0) m.stdOutHandle = m.NewHandleLocked();
    return MakeHandle<HANDLE>(m.stdOutHandle);
}

DWORD GetFileType(HANDLE file) {
    Machine& machine = TheMachine();
    Call call("GetFileType");
    Impl& m = call.m;
    if (auto fault = call.fault) {
        SetLastError(*fault);
        return FILE_TYPE_UNKNOWN;
    }
    if (m.IsStandardOutputLocked(file)) {
        SetLastError(ERROR_SUCCESS);
        switch (machine.standardOutput.load()) {
        case Machine::StandardOutput::Console:
            return FILE_TYPE_CHAR;
        case Machine::StandardOutput::Pipe:
            return FILE_TYPE_PIPE;
        case Machine::StandardOutput::File:
            return FILE_TYPE_DISK;
        case Machine::StandardOutput::None:
            break;
        }
        return FILE_TYPE_UNKNOWN;
    }
    if (m.files.count(Id(file)) != 0) {
        SetLastError(ERROR_SUCCESS);
        return FILE_TYPE_DISK;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
}

// Only the standard output's handle is duplicated here, within this process.
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, LPHANDLE target, DWORD, BOOL inherit,
                     DWORD options) {
    Call call("DuplicateHandle");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    const HANDLE self = MakeHandle<HANDLE>(static_cast<std::uintptr_t>(-1));
    if (sourceProcess != self || targetProcess != self || !m.IsStandardOutputLocked(source)) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (target == nullptr || options != DUPLICATE_SAME_ACCESS) return Fail(ERROR_INVALID_PARAMETER);
    const std::uintptr_t handle = m.NewHandleLocked();
    m.stdOutDuplicates[handle] = inherit != FALSE;
    *target = MakeHandle<HANDLE>(handle);
    return TRUE;
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    Call call("FindFirstFileA");
    Impl& m = call.m;
    if (auto fault = call.fault) return FailHandle(*fault);
    if (DWORD error = CheckAnsiPath(pattern)) return FailHandle(error);
    if (data == nullptr) return FailHandle(ERROR_INVALID_PARAMETER);

    // "<folder>\<mask>": the folder resolves like any path, the mask is matched.
    const std::string text = pattern;
    const std::size_t cut = text.find_last_of("\\/");
    std::string folder, mask;
    if (cut != std::string::npos) {
        folder = text.substr(0, cut + 1);
        mask = text.substr(cut + 1);
    } else if (text.size() >= 2 && text[1] == ':') {
        folder = text.substr(0, 2);
        mask = text.substr(2);
    } else {
        folder = "\\";
        mask = text;
    }
    const sim::WinPath folderPath = sim::ParseWinPath(folder);
    const Impl::Resolved dir = m.ResolveLocked(folderPath);
    if (dir.error != ERROR_SUCCESS) return FailHandle(dir.error);
    if (!dir.exists || !dir.isDir) return FailHandle(ERROR_PATH_NOT_FOUND);
    if (mask.find_first_of("<>:\"|") != std::string::npos) return FailHandle(ERROR_INVALID_NAME);
    if (mask == "*.*") mask = "*";  // as Windows reads it: every name, with a dot or not

    std::vector<std::pair<std::string, std::filesystem::path>> entries;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir.host, ec), end; !ec && it != end; it.increment(ec)) {
        entries.emplace_back(it->path().filename().string(), it->path());
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return sim::NoCaseLess()(a.first, b.first); });

    Impl::Search search;
    if (!folderPath.parts.empty()) {
        // A folder below the root lists itself and its parent first.
        for (const char* self : {".", ".."}) {
            if (sim::WildcardMatch(mask, self)) search.found.push_back(FindData(self, true, 0));
        }
    }
    for (const auto& entry : entries) {
        if (mask.empty() || !sim::WildcardMatch(mask, entry.first)) continue;
        const bool isDir = std::filesystem::is_directory(entry.second, ec);
        const std::uintmax_t size = isDir ? 0 : std::filesystem::file_size(entry.second, ec);
        search.found.push_back(FindData(entry.first, isDir, ec ? 0 : size));
    }
    if (search.found.empty()) return FailHandle(ERROR_FILE_NOT_FOUND);
    *data = search.found.front();
    const std::uintptr_t handle = m.NewHandleLocked();
    m.searches.emplace(handle, std::move(search));
    return MakeHandle<HANDLE>(handle);
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
    Call call("FindNextFileA");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    const auto search = m.searches.find(Id(find));
    if (search == m.searches.end()) return Fail(ERROR_INVALID_HANDLE);
    if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    Impl::Search& s = search->second;
    if (s.next >= s.found.size()) return Fail(ERROR_NO_MORE_FILES);
    *data = s.found[s.next++];
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    Call call("FindClose");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    if (m.searches.erase(Id(find)) == 0) return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    Call call("GetWindowsDirectoryA");
    if (auto fault = call.fault) {
        SetLastError(*fault);
        return 0;
    }
    if (buffer == nullptr || size <= kWindowsDirLength) return kWindowsDirLength + 1;
    std::memcpy(buffer, Machine::kWindowsDir, kWindowsDirLength + 1);
    return kWindowsDirLength;
}

HRESULT SHGetFolderPathA(HWND, int folder, HANDLE, DWORD, LPSTR path) {
    Call call("SHGetFolderPathA");
    if (auto fault = call.fault) {
        // The buffer is left without a path or a terminator: a caller that
        // uses it anyway reads junk, and past its end.
        if (path != nullptr) std::memset(path, kUnsetFill, MAX_PATH);
        SetLastError(*fault);
        return E_FAIL;
    }
    if (path == nullptr) return E_INVALIDARG;
    if ((folder & ~CSIDL_FLAG_MASK) != CSIDL_WINDOWS) return E_INVALIDARG;  // not simulated
    const Machine::FolderAnswer answer = TheMachine().windowsFolderAnswer;
    std::memcpy(path, answer == Machine::FolderAnswer::EmptyPath ? "" : Machine::kWindowsDir,
                answer == Machine::FolderAnswer::EmptyPath ? 1 : kWindowsDirLength + 1);
    return answer == Machine::FolderAnswer::Missing ? S_FALSE : S_OK;
}

}  // namespace plat
