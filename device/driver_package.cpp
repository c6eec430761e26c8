#include "device/driver_package.h"

#include "platform/platform.h"
#include "platform/trace.h"

bool UninstallDriverPackage(const char* oemInfName) {
    Trace("----> Uninstalling Driver Package");
    if (plat::SetupUninstallOEMInfA(oemInfName, 0, nullptr)) {
        Trace("----> Driver Package Uninstalled");
        return true;
    }
    TraceF("----> Driver Package Uninstall failed : GetLastError() = %08lxh",
           static_cast<unsigned long>(plat::GetLastError()));
    return false;
}
