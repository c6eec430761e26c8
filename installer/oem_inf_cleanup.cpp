#include "installer/oem_inf_cleanup.h"

#include "device/driver_package.h"
#include "platform/handles.h"
#include "platform/trace.h"

#include <cstdio>
#include <cstring>
#include <utility>

InfLineScanner::InfLineScanner(std::string key) : key_(std::move(key)) {}

bool InfLineScanner::Feed(const char* data, std::size_t size) {
    if (found_ || key_.empty()) return found_;
    const char* const end = data + size;
    while (data < end) {
        const char* newline = static_cast<const char*>(std::memchr(data, '\n', end - data));
        const char* pieceEnd = newline != nullptr ? newline : end;
        carry_.append(data, pieceEnd);
        if (carry_.find(key_) != std::string::npos) {
            found_ = true;
            carry_.clear();
            return true;
        }
        if (newline != nullptr) {
            carry_.clear();
            data = newline + 1;
        } else {
            // Only the last key-length-minus-one bytes can start a match.
            if (carry_.size() >= key_.size()) carry_.erase(0, carry_.size() - (key_.size() - 1));
            data = end;
        }
    }
    return false;
}

namespace {

// Deletes the file. With `removedByPackage` (the file was there and the
// package removal succeeded), a file that is no longer there counts as
// deleted: the package removal took it.
bool DeleteOrAlreadyRemoved(const char* path, bool removedByPackage) {
    if (plat::DeleteFileA(path)) return true;
    return removedByPackage && plat::GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace

bool OemInfContainsKey(const char* key, const char* path) { return ScanOemInf(key, path) == OemInfScan::Holds; }

OemInfScan ScanOemInf(const char* key, const char* path) {
    Trace("--> Opening OEM* File");
    plat::File file(plat::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        Trace("--> Error opening file");
        return OemInfScan::Unread;
    }
    InfLineScanner scanner(key);
    char chunk[4096];
    DWORD got = 0;
    while (plat::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr)) {
        if (got == 0) {
            Trace("----> Search Key Not Found, exiting....");
            return OemInfScan::Lacks;
        }
        if (scanner.Feed(chunk, got)) {
            Trace("----> Search Key Found!");
            return OemInfScan::Holds;
        }
    }
    // A copy read only in part may hold the key further on.
    Trace("--> Error reading file");
    return OemInfScan::Unread;
}

namespace {

void TraceSearchFailed(DWORD error) {
    TraceF("----> OEM INF files could not be searched : GetLastError() = %08lxh", static_cast<unsigned long>(error));
}

}  // namespace

OemInfWalk VisitOemInfCopies(const char* key, const OemInfVisitor& naming) {
    OemInfWalk walk;
    Trace("----> Retreiving the windows path");
    char windowsPath[MAX_PATH] = {};
    const HRESULT lookup = plat::SHGetFolderPathA(nullptr, CSIDL_WINDOWS, nullptr, 0, windowsPath);
    if (lookup != S_OK || windowsPath[0] == '\0') {
        // Without the folder there is no pattern to search with; an empty one
        // would search the current drive's root instead.
        TraceF("----> Windows path not available : %08lxh",
               static_cast<unsigned long>(static_cast<DWORD>(lookup)));  // 8 digits where long has 64 bits
        walk.searched = false;
        return walk;
    }
    windowsPath[MAX_PATH - 1] = '\0';
    Trace(windowsPath);

    char pattern[MAX_PATH];
    const int patternLength =
        std::snprintf(pattern, sizeof pattern, "%s\\inf\\OEM*.inf", windowsPath);
    // A cut pattern could match other files than the OEM INF copies.
    if (patternLength < 0 || patternLength >= static_cast<int>(sizeof pattern)) {
        TraceSearchFailed(ERROR_FILENAME_EXCED_RANGE);
        walk.searched = false;
        return walk;
    }
    WIN32_FIND_DATAA found{};
    plat::FindHandle search(plat::FindFirstFileA(pattern, &found));
    if (!search) {
        const DWORD error = plat::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            Trace("----> No files found");
        } else {
            TraceSearchFailed(error);
            walk.searched = false;
        }
        return walk;
    }
    do {
        Trace(found.cFileName);
        char fullPath[MAX_PATH];
        const int length =
            std::snprintf(fullPath, sizeof fullPath, "%s\\inf\\%s", windowsPath, found.cFileName);
        // A cut path would name some other file; never open or delete through one.
        if (length < 0 || length >= static_cast<int>(sizeof fullPath)) {
            walk.unread.push_back(found.cFileName);
            continue;
        }
        switch (ScanOemInf(key, fullPath)) {
        case OemInfScan::Holds:
            naming(fullPath, found.cFileName);
            break;
        case OemInfScan::Unread:
            walk.unread.push_back(found.cFileName);
            break;
        case OemInfScan::Lacks:
            break;
        }
    } while (plat::FindNextFileA(search.get(), &found));
    const DWORD error = plat::GetLastError();
    if (error != ERROR_NO_MORE_FILES) {
        TraceSearchFailed(error);
        walk.searched = false;
    }
    return walk;
}

void RemoveOemInfFiles(const char* key) {
    Trace("----> Removing all OEM*.inf/pnf files associated with the specified search key");
    VisitOemInfCopies(key, [](const char* fullPath, const char* fileName) {
        const std::size_t length = std::strlen(fullPath);
        char pnfPath[MAX_PATH];
        std::memcpy(pnfPath, fullPath, length + 1);
        pnfPath[length - 3] = 'P';  // ".inf" -> ".Pnf"; file names are case-insensitive
        // The search has just found the INF; whether the PNF is there is
        // looked at before the package removal may delete both.
        const bool pnfWasThere = plat::GetFileAttributesA(pnfPath) != INVALID_FILE_ATTRIBUTES;
        const bool packageRemoved = UninstallDriverPackage(fileName);

        Trace("----> Deleting INF File");
        if (!DeleteOrAlreadyRemoved(fullPath, packageRemoved)) Trace("----> Failed");
        Trace("----> Deleting PNF File");
        if (!DeleteOrAlreadyRemoved(pnfPath, packageRemoved && pnfWasThere)) Trace("----> Failed");
    });
}
