#include "platform/win32/system_dll.h"

#include "platform/trace.h"

#include <cstdio>
#include <cstring>

namespace plat::win32 {
namespace {

struct LoadedDll {
    const char* name;
    HMODULE module;  // set once, never unloaded
};

// The DLLs this program loads at run time.
LoadedDll g_dlls[] = {
    {"setupapi.dll", nullptr},
    {"newdev.dll", nullptr},
    {"comctl32.dll", nullptr},
    {"shell32.dll", nullptr},
};

// These lines name a DLL and an entry point, longer than TraceF's 100 bytes.
void TraceLoadFailure(const char* format, const char* a, const char* b, DWORD error) {
    char line[200];
    std::snprintf(line, sizeof(line), format, a, b, static_cast<unsigned long>(error));
    ::Trace(line);
}

HMODULE LoadFromSystemDirectory(const char* name) {
    HMODULE module = ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;

    // A system that does not know the flag: load by full path, and let the
    // DLL's own dependencies be searched from its folder first.
    char path[MAX_PATH];
    const UINT length = ::GetSystemDirectoryA(path, sizeof(path));
    if (length == 0 || length + 1 + std::strlen(name) >= sizeof(path)) return nullptr;
    path[length] = '\\';
    std::strcpy(path + length + 1, name);
    return ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE SystemModule(const char* name) {
    for (LoadedDll& dll : g_dlls) {
        if (std::strcmp(dll.name, name) != 0) continue;
        void* loaded = __atomic_load_n(reinterpret_cast<void**>(&dll.module), __ATOMIC_ACQUIRE);
        if (loaded != nullptr) return static_cast<HMODULE>(loaded);

        HMODULE module = LoadFromSystemDirectory(name);
        if (module == nullptr) return nullptr;
        // Two threads may race to the first load; the loser drops its reference.
        void* previous = ::InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&dll.module),
                                                             module, nullptr);
        if (previous != nullptr) {
            ::FreeLibrary(module);
            return static_cast<HMODULE>(previous);
        }
        return module;
    }
    ::SetLastError(ERROR_MOD_NOT_FOUND);  // not one this program loads
    return nullptr;
}

}  // namespace

FARPROC SystemProc(const char* dll, const char* name) {
    HMODULE module = SystemModule(dll);
    if (module == nullptr) {
        DWORD error = ::GetLastError();
        if (error == ERROR_SUCCESS) error = ERROR_MOD_NOT_FOUND;
        TraceLoadFailure("%s could not be loaded from the system directory (%s), error %lu\n", dll, name, error);
        ::SetLastError(error);
        return nullptr;
    }
    FARPROC proc = ::GetProcAddress(module, name);
    if (proc == nullptr) {
        TraceLoadFailure("%s has no entry point %s, error %lu\n", dll, name, ERROR_PROC_NOT_FOUND);
        ::SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return proc;
}

}  // namespace plat::win32
