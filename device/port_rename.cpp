#include "device/port_rename.h"

#include "platform/handles.h"
#include "platform/trace.h"

#include <cstdio>
#include <cstring>

namespace {

// REG_SZ data is the characters and their terminating NUL.
DWORD SzByteCount(const char* text) { return static_cast<DWORD>(std::strlen(text) + 1); }

}  // namespace

bool ReassignComPort(const char* portName, const char* portLabel, SP_DEVINFO_DATA devInfo,
                     HDEVINFO set) {
    Trace("--> Reassigning COM port\n");

    char instanceId[100] = {};
    if (!plat::SetupDiGetDeviceInstanceIdA(set, &devInfo, instanceId, sizeof instanceId, nullptr)) {
        Trace("----> Error getting instance ID");
        return false;
    }

    char buffer[MAX_PATH];
    std::snprintf(buffer, sizeof buffer, "SYSTEM\\CurrentControlSet\\ENUM\\%s\\Device Parameters",
                  instanceId);
    plat::RegKey key;
    if (plat::RegOpenKeyExA(HKEY_LOCAL_MACHINE, buffer, 0, KEY_ALL_ACCESS, key.out()) !=
        static_cast<LONG>(ERROR_SUCCESS)) {
        Trace("----> Error opening device parameters key");
        return false;
    }
    if (plat::RegSetValueExA(key.get(), "PortName", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(portName),
                             SzByteCount(portName)) != static_cast<LONG>(ERROR_SUCCESS)) {
        Trace("----> Error writing to COM port value key\n");
        return false;
    }
    key.reset();

    std::snprintf(buffer, sizeof buffer, "%s(%s)", portLabel, portName);
    if (!plat::SetupDiSetDeviceRegistryPropertyA(set, &devInfo, SPDRP_FRIENDLYNAME,
                                                 reinterpret_cast<const BYTE*>(buffer),
                                                 SzByteCount(buffer))) {
        Trace("----> Error writing updated friendly name\n");
        return false;
    }
    return true;
}
