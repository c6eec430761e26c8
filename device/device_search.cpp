#include "device/device_search.h"

#include "platform/setup_values.h"
#include "platform/trace.h"

#include <cstring>

bool DevicePropertyMatches(const char* key, const char* value, DWORD property) {
    if (value[0] == '\0') return false;
    if (property == SPDRP_DEVICEDESC) return std::strcmp(key, value) == 0;
    return std::strstr(key, value) != nullptr;
}

bool FindDevice(const char* key, DWORD property, PSP_DEVINFO_DATA devInfoOut, HDEVINFO set) {
    Trace("--> Device Enumeration(FindDevice)");
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof(SP_DEVINFO_DATA);
        if (!plat::SetupDiEnumDeviceInfo(set, index, &data)) break;

        // Two spare NUL bytes past the 100 the platform may fill: a value
        // without its terminator (or a list without its final empty string)
        // still ends inside the buffer.
        char value[kPropertyBufferSize + 2] = {};
        DWORD type = 0;
        if (!plat::SetupDiGetDeviceRegistryPropertyA(set, &data, property, &type,
                                                     reinterpret_cast<PBYTE>(value),
                                                     kPropertyBufferSize, nullptr)) {
            continue;
        }

        if (type == REG_SZ) {
            if (DevicePropertyMatches(key, value, property)) {
                Trace("----> FindDevice match(REG_SZ)!");
                *devInfoOut = data;
                return true;
            }
        } else if (type == REG_MULTI_SZ) {
            const char* const end = value + kPropertyBufferSize;
            for (const char* item = value; item < end && *item != '\0';
                 item += std::strlen(item) + 1) {
                Trace(item);
                Trace("\n");
                if (DevicePropertyMatches(key, item, property)) {
                    Trace("----> FindDevice match(REG_MULTI_SZ)!");
                    *devInfoOut = data;
                    return true;
                }
            }
        }
    }

    const DWORD error = plat::GetLastError();
    if (error == ERROR_NO_MORE_ITEMS) {
        Trace("----> No more devices\n");
    } else {
        TraceF("----> Abnormal Exit : GetLastError() = %08lxh\n", static_cast<unsigned long>(error));
    }
    return false;
}

plat::DeviceInfoSet PresentComPortDevices() {
    return plat::DeviceInfoSet(plat::SetupDiGetClassDevsA(&plat::kComPortInterface, nullptr, nullptr,
                                                          DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
}

plat::DeviceInfoSet AllDevices() {
    return plat::DeviceInfoSet(plat::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
}
