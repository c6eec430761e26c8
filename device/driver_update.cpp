#include "device/driver_update.h"

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
        break;
    }
    return false;
}
