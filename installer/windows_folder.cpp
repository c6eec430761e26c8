#include "installer/windows_folder.h"

#include "platform/platform.h"

std::string g_windowsDir;

std::string ReadWindowsDirectory() {
    char windowsDir[MAX_PATH] = {};
    const UINT length = plat::GetWindowsDirectoryA(windowsDir, sizeof(windowsDir));
    if (length == 0 || length >= sizeof(windowsDir)) return "";
    return std::string(windowsDir, length);
}
