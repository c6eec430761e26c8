#include "device/port_rename.h"

#include "platform/handles.h"
#include "platform/trace.h"

#include <cstdio>
#include <cstring>

namespace {

// REG_SZ data is the characters and their terminating NUL.
DWORD SzByteCount(const char* text) { return static_cast<DWORD>(std::strlen(text) + 1); }

// The device's hardware key, below HKEY_LOCAL_MACHINE, in a 260-byte buffer.
void ParametersKeyPath(char (&path)[MAX_PATH], const char* instanceId) {
    std::snprintf(path, sizeof path, "SYSTEM\\CurrentControlSet\\ENUM\\%s\\Device Parameters", instanceId);
}

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
    ParametersKeyPath(buffer, instanceId);
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

    std::snprintf(buffer, sizeof buffer, "%s", PortFriendlyName(portLabel, portName).c_str());
    if (!plat::SetupDiSetDeviceRegistryPropertyA(set, &devInfo, SPDRP_FRIENDLYNAME,
                                                 reinterpret_cast<const BYTE*>(buffer),
                                                 SzByteCount(buffer))) {
        Trace("----> Error writing updated friendly name\n");
        return false;
    }
    return true;
}

std::string PortFriendlyName(const char* portLabel, const char* portName) {
    return std::string(portLabel) + "(" + portName + ")";
}

DeviceValue ReadPortName(SP_DEVINFO_DATA devInfo, HDEVINFO set) {
    DeviceValue read;
    char instanceId[100] = {};
    if (!plat::SetupDiGetDeviceInstanceIdA(set, &devInfo, instanceId, sizeof instanceId, nullptr)) {
        read.state = DeviceValue::Unreadable;
        read.error = plat::GetLastError();
        return read;
    }
    char path[MAX_PATH];
    ParametersKeyPath(path, instanceId);
    plat::RegKey key;
    LONG result = plat::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, key.out());
    char name[kPropertyBufferSize + 1] = {};
    DWORD type = REG_NONE;
    DWORD size = kPropertyBufferSize;
    if (result == static_cast<LONG>(ERROR_SUCCESS)) {
        result = plat::RegQueryValueExA(key.get(), "PortName", nullptr, &type, reinterpret_cast<LPBYTE>(name), &size);
    }
    if (result == static_cast<LONG>(ERROR_SUCCESS)) {
        read.state = DeviceValue::Present;
        read.text = type == REG_SZ ? name : "(not a string)";
    } else if (result == static_cast<LONG>(ERROR_MORE_DATA)) {
        read.state = DeviceValue::Present;  // longer than any name this tool writes
        read.text = "(a name longer than 99 characters)";
    } else {
        read.state = result == static_cast<LONG>(ERROR_FILE_NOT_FOUND) ? DeviceValue::Absent : DeviceValue::Unreadable;
        read.error = static_cast<DWORD>(result);
    }
    return read;
}
