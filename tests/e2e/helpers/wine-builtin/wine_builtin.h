// Wine's own (builtin) copy of a system DLL, for the stand-in DLLs of the
// tests: a stand-in takes the system DLL's name, so it reaches the real
// functions by loading Wine's builtin file by its full path, below the
// folder Wine names in the WINEDLLDIR0 environment variable.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace wine_builtin {

// The builtin DLL of that name ("setupapi.dll"), loaded once; null when Wine's
// DLL folder is not known or the file cannot be loaded.
inline HMODULE Load(const char* name) {
    char dir[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableA("WINEDLLDIR0", dir, sizeof(dir));
    if (length == 0 || length >= sizeof(dir)) return nullptr;
    const char* path = dir;
    if (std::strncmp(path, "\\??\\", 4) == 0) path += 4;  // an NT path: "\??\Z:\usr\lib\...\wine"
#ifdef _WIN64
    const char* const arch = "x86_64-windows";
#else
    const char* const arch = "i386-windows";
#endif
    char full[MAX_PATH];
    const int n = std::snprintf(full, sizeof(full), "%s\\%s\\%s", path, arch, name);
    if (n < 0 || n >= static_cast<int>(sizeof(full))) return nullptr;
    return ::LoadLibraryExA(full, nullptr, 0);
}

// One entry point of that builtin DLL, or null.
template <typename Function>
Function Proc(const char* dll, const char* name) {
    HMODULE module = Load(dll);
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace wine_builtin
