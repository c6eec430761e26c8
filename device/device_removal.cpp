#include "device/device_removal.h"

#include "platform/trace.h"

bool RemoveDevice(HDEVINFO set, PSP_DEVINFO_DATA devInfo) {
    return plat::SetupDiRemoveDevice(set, devInfo) != FALSE;
}

bool NeedsRestart(HDEVINFO set, PSP_DEVINFO_DATA devInfo) {
    SP_DEVINSTALL_PARAMS_A params{};
    params.cbSize = sizeof params;
    if (!plat::SetupDiGetDeviceInstallParamsA(set, devInfo, &params)) {
        TraceF("----> Install parameters not read : GetLastError() = %08lxh",
               static_cast<unsigned long>(plat::GetLastError()));
        return false;
    }
    if ((params.Flags & (DI_NEEDREBOOT | DI_NEEDRESTART)) == 0) return false;
    Trace("----> Restart needed to complete the device removal");
    return true;
}
