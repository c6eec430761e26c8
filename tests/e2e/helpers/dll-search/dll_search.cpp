// The program's DLL search restriction (platform/win32/safe_dll_search.cpp)
// on a system without SetDefaultDllDirectories, which Wine has: this
// program's own import of GetProcAddress, which the restriction calls, is
// pointed at a lookup that finds no SetDefaultDllDirectories (with
// "--as-is", it is left alone). With "C:\planted" set as the DLL directory
// before, it prints
//   restricted 0, DLL directory ""
// when the restriction fell back to SetDllDirectoryA(""), which takes the
// current directory (and the planted one) out of the search.
#include "platform/win32/safe_dll_search.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

using GetProcAddressFn = FARPROC(WINAPI*)(HMODULE, LPCSTR);
GetProcAddressFn g_realGetProcAddress = nullptr;

FARPROC WINAPI LookupWithoutDefaultDllDirectories(HMODULE module, LPCSTR name) {
    if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 && std::strcmp(name, "SetDefaultDllDirectories") == 0) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return g_realGetProcAddress(module, name);
}

// Points this program's import of kernel32's GetProcAddress at the lookup above.
bool RedirectGetProcAddress() {
    auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
    const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); dll->Name != 0; ++dll) {
        if (::lstrcmpiA(reinterpret_cast<char*>(base + dll->Name), "kernel32.dll") != 0) continue;
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name,
                            "GetProcAddress") != 0) {
                continue;
            }
            DWORD protection = 0;
            if (!::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) return false;
            g_realGetProcAddress = reinterpret_cast<GetProcAddressFn>(slot->u1.Function);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(&LookupWithoutDefaultDllDirectories);
            ::VirtualProtect(slot, sizeof *slot, protection, &protection);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const bool asIs = argc > 1 && std::strcmp(argv[1], "--as-is") == 0;
    if (!asIs && !RedirectGetProcAddress()) {
        std::printf("no import of GetProcAddress to redirect\n");
        return 2;
    }
    ::SetDllDirectoryA("C:\\planted");
    const bool restricted = plat::win32::RestrictDllSearchToSystemDirectory();
    char directory[MAX_PATH] = {};
    ::GetDllDirectoryA(MAX_PATH, directory);
    std::printf("restricted %d, DLL directory \"%s\"\n", restricted ? 1 : 0, directory);
    return 0;
}
