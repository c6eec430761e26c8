// Process entry.
#include "platform/win32/safe_dll_search.h"
#include "ui/framework.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
    // Before anything can load a library: DLLs come from the system directory only.
    plat::win32::RestrictDllSearchToSystemDirectory();
    return AfxWinMain(instance, cmdLine);
}
