#include "device/driver_update.h"

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/trace.h"

bool InstallDeviceDriver(const char* hardwareId, const char* infPath, bool* restartNeeded) {
    Trace("--> Installing device driver");
    BOOL restart = FALSE;
    if (plat::UpdateDriverForPlugAndPlayDevicesA(nullptr, hardwareId, infPath, INSTALLFLAG_FORCE,
                                                 restartNeeded != nullptr ? &restart : nullptr) == TRUE) {
        if (restart) {
            Trace("----> Restart needed to complete the driver installation");
            *restartNeeded = true;
        }
        return true;
    }
    const DWORD error = plat::GetLastError();
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
        Trace("----> Device Driver Installation failed : INF File Not Found\n");
        break;
    case ERROR_INVALID_FLAGS:
        Trace("----> Device Driver Installation failed : Invalid Flags\n");
        break;
    case ERROR_NO_SUCH_DEVINST:
        Trace("----> Device Driver Installation failed : No such device\n");
        break;
    default:
        TraceF("----> Device Driver Installation failed : GetLastError() = %08lxh\n",
               static_cast<unsigned long>(error));
        // Codes an admin meets without knowing them: the cause in words.
        if (error == ERROR_AUTHENTICODE_TRUST_NOT_ESTABLISHED || error == ERROR_AUTHENTICODE_PUBLISHER_NOT_TRUSTED) {
            Trace("----> The driver package's publisher is not trusted on this machine: add its certificate to the "
                  "Trusted Publishers store before the install");
        }
        break;
    }
    return false;
}

DeviceValue ReadDeviceDriver(HDEVINFO set, PSP_DEVINFO_DATA devInfo) {
    DeviceValue read;
    const HKEY opened = plat::SetupDiOpenDevRegKey(set, devInfo, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_QUERY_VALUE);
    plat::RegKey key(opened != reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE) ? opened : nullptr);
    LONG result = ERROR_SUCCESS;
    if (!key) {
        result = static_cast<LONG>(plat::GetLastError());
        // What the system gives for a device without a driver key.
        if (result == static_cast<LONG>(ERROR_KEY_DOES_NOT_EXIST)) result = ERROR_FILE_NOT_FOUND;
    }
    char infPath[MAX_PATH + 1] = {};
    DWORD type = REG_NONE;
    DWORD size = MAX_PATH;
    if (result == static_cast<LONG>(ERROR_SUCCESS)) {
        result = plat::RegQueryValueExA(key.get(), "InfPath", nullptr, &type, reinterpret_cast<LPBYTE>(infPath), &size);
    }
    if (result == static_cast<LONG>(ERROR_SUCCESS) && type == REG_SZ && infPath[0] != '\0') {
        read.state = DeviceValue::Present;
        read.text = infPath;
    } else if (result == static_cast<LONG>(ERROR_SUCCESS) || result == static_cast<LONG>(ERROR_FILE_NOT_FOUND)) {
        read.state = DeviceValue::Absent;
    } else {
        read.state = DeviceValue::Unreadable;
        read.error = static_cast<DWORD>(result);
    }
    return read;
}
