#include "device/driver_update.h"

#include "platform/platform.h"
#include "platform/trace.h"

bool InstallDeviceDriver(const char* hardwareId, const char* infPath) {
    Trace("--> Installing device driver");
    if (plat::UpdateDriverForPlugAndPlayDevicesA(nullptr, hardwareId, infPath, INSTALLFLAG_FORCE,
                                                 nullptr) == TRUE) {
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
