#include "run/log_file_open.h"

#include "platform/trace.h"

#include <cstdio>

namespace {

// The log as an admin watches it grow and another run appends to it; reading
// its attributes shares nothing more.
constexpr DWORD kLogAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
constexpr DWORD kLogShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
// Links at the name itself are opened as themselves, never followed.
constexpr DWORD kNoFollow = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

void TraceLog(const std::string& path, const std::string& what) {
    Trace(("--> Log file \"" + path + "\" " + what).c_str());
}

std::string ErrorCode(DWORD error) {
    char code[16];
    std::snprintf(code, sizeof code, "%08lxh", static_cast<unsigned long>(error));
    return code;
}

void TraceUnopened(const std::string& path, DWORD error) {
    TraceLog(path, "could not be opened : GetLastError() = " + ErrorCode(error));
}

bool Uncheckable(const std::string& path) {
    TraceLog(path, "could not be checked : GetLastError() = " + ErrorCode(plat::GetLastError()));
    return false;
}

// A path a plat:: call writes into a MAX_PATH buffer; empty, with the last
// error set, when the call fails or the path does not fit.
template <typename Call>
std::string PathFrom(Call call) {
    char buffer[MAX_PATH];
    const DWORD length = call(buffer, static_cast<DWORD>(sizeof buffer));
    if (length == 0) return "";
    if (length >= sizeof buffer) {
        plat::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return "";
    }
    return std::string(buffer, length);
}

std::string FullPath(const std::string& path) {
    return PathFrom([&](char* buffer, DWORD size) { return plat::GetFullPathNameA(path.c_str(), size, buffer, nullptr); });
}

// Short 8.3 names made long; the path must exist.
std::string LongPath(const std::string& path) {
    if (path.empty()) return "";
    return PathFrom([&](char* buffer, DWORD size) { return plat::GetLongPathNameA(path.c_str(), buffer, size); });
}

std::string FinalPath(HANDLE handle) {
    return PathFrom([&](char* buffer, DWORD size) {
        return plat::GetFinalPathNameByHandleA(handle, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
}

// "C:\logs" of "C:\logs\run.log"; a drive's root keeps its backslash.
std::string FolderOf(const std::string& fullPath) {
    const std::size_t slash = fullPath.rfind('\\');
    if (slash == std::string::npos) return fullPath;
    std::string folder = fullPath.substr(0, slash);
    if (folder.size() == 2 && folder[1] == ':') folder += '\\';
    return folder;
}

// A final path as a path is written: "\\?\UNC\server\share" as "\\server\share",
// "\\?\C:\logs" as "C:\logs".
std::string WithoutPrefix(const std::string& finalPath) {
    if (finalPath.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + finalPath.substr(8);
    if (finalPath.rfind("\\\\?\\", 0) == 0) return finalPath.substr(4);
    return finalPath;
}

// Compared as the file system compares names: letters without regard to case;
// a trailing backslash other than a root's does not count.
std::string Comparable(std::string path) {
    if (path.size() > 3 && path.back() == '\\') path.pop_back();
    for (char& c : path) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return path;
}

enum class Entry { File, Folder };

// Whether `handle`, opened at `asked` without following a link at its name,
// leads there and nowhere else; traces why not.
bool LeadsWhereAsked(HANDLE handle, const std::string& logPath, const std::string& asked, Entry entry) {
    const char* const subject = entry == Entry::Folder ? "its folder" : "it";
    BY_HANDLE_FILE_INFORMATION information{};
    if (!plat::GetFileInformationByHandle(handle, &information)) return Uncheckable(logPath);
    if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        TraceLog(logPath, std::string("refused: ") + subject + " is a link");
        return false;
    }
    // A folder has only one name; a file with a second one is someone else's too.
    if (entry == Entry::File && information.nNumberOfLinks != 1) {
        TraceLog(logPath, "refused: the file has " + std::to_string(information.nNumberOfLinks) + " hard links");
        return false;
    }
    const std::string final = FinalPath(handle);
    if (final.empty() || asked.empty()) return Uncheckable(logPath);
    if (!FinalPathIsAsked(final, asked)) {
        TraceLog(logPath, std::string("refused: ") + subject + " leads to \"" + WithoutPrefix(final) + "\"");
        return false;
    }
    return true;
}

bool FileLeadsWhereAsked(HANDLE file, const std::string& path) {
    return LeadsWhereAsked(file, path, LongPath(FullPath(path)), Entry::File);
}

// A run that has just made the log holds it with delete access while it checks
// it, which shares it with no one; it is free again a moment later.
constexpr int kOpenTries = 20;
constexpr DWORD kPauseBetweenTriesMs = 50;

plat::File OpenExisting(const std::string& path) {
    for (int tries = 1;; ++tries) {
        plat::File file(plat::CreateFileA(path.c_str(), kLogAccess, kLogShare, nullptr, OPEN_EXISTING, kNoFollow, nullptr));
        if (file || tries == kOpenTries || plat::GetLastError() != ERROR_SHARING_VIOLATION) return file;
        plat::Sleep(kPauseBetweenTriesMs);
    }
}

enum class Creation { Created, NameTaken, Refused };

// Creates the missing log empty, after checking its folder, and checks it
// through the creating handle; one that fails is deleted through it.
Creation CreateLogFile(const std::string& path) {
    const std::string full = FullPath(path);
    if (full.empty()) {
        Uncheckable(path);
        return Creation::Refused;
    }
    const std::string folder = FolderOf(full);
    {
        plat::File handle(plat::CreateFileA(folder.c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, kNoFollow | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!handle || !LeadsWhereAsked(handle.get(), path, LongPath(folder), Entry::Folder)) {
            if (!handle) Uncheckable(path);
            return Creation::Refused;
        }
    }
    plat::File created(plat::CreateFileA(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         CREATE_NEW, kNoFollow, nullptr));
    if (!created) {
        const DWORD error = plat::GetLastError();
        if (error == ERROR_FILE_EXISTS) return Creation::NameTaken;
        TraceUnopened(path, error);
        return Creation::Refused;
    }
    if (FileLeadsWhereAsked(created.get(), path)) return Creation::Created;
    FILE_DISPOSITION_INFO remove{};
    remove.DeleteFile = TRUE;
    if (!plat::SetFileInformationByHandle(created.get(), FileDispositionInfo, &remove, sizeof remove))
        TraceLog(path, "made where it leads could not be removed : GetLastError() = " + ErrorCode(plat::GetLastError()));
    return Creation::Refused;
}

}  // namespace

bool FinalPathIsAsked(const std::string& finalPath, const std::string& askedPath) {
    return Comparable(WithoutPrefix(finalPath)) == Comparable(askedPath);
}

plat::File OpenLogFile(const std::string& path) {
    plat::File file = OpenExisting(path);
    if (!file) {
        const DWORD error = plat::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) {
            TraceUnopened(path, error);
            return {};
        }
        // Made empty and checked, then opened like a log that was there; one
        // that another run made meanwhile is opened as it is.
        const Creation creation = CreateLogFile(path);
        if (creation == Creation::Refused) return {};
        file = OpenExisting(path);
        if (!file) {
            const DWORD reopenError = plat::GetLastError();
            // The name is taken, yet nothing opens: a link that leads nowhere.
            if (creation == Creation::NameTaken && reopenError == ERROR_FILE_NOT_FOUND)
                TraceLog(path, "refused: its name leads to no file");
            else
                TraceUnopened(path, reopenError);
            return {};
        }
    }
    if (!FileLeadsWhereAsked(file.get(), path)) return {};
    return file;
}
