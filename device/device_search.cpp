#include "device/device_search.h"

#include "platform/setup_values.h"
#include "platform/trace.h"

#include <cstring>

bool DevicePropertyMatches(const char* key, const char* value, DWORD property) {
    if (value[0] == '\0') return false;
    if (property == SPDRP_DEVICEDESC) return std::strcmp(key, value) == 0;
    return std::strstr(key, value) != nullptr;
}

namespace {

// Reads that find nothing to match: no such property, a value longer than
// the buffer, a device removed through this set.
bool NothingToRead(DWORD error) {
    return error == ERROR_INVALID_DATA || error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_NO_SUCH_DEVINST;
}

}  // namespace

SearchResult FindDevice(const char* key, DWORD property, PSP_DEVINFO_DATA devInfoOut, HDEVINFO set) {
    Trace("--> Device Enumeration(FindDevice)");
    DWORD unread = ERROR_SUCCESS;  // the first read that failed for another reason
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
            const DWORD error = plat::GetLastError();
            if (!NothingToRead(error) && unread == ERROR_SUCCESS) unread = error;
            continue;
        }

        if (type == REG_SZ) {
            if (DevicePropertyMatches(key, value, property)) {
                Trace("----> FindDevice match(REG_SZ)!");
                *devInfoOut = data;
                return SearchResult::Found;
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
                    return SearchResult::Found;
                }
            }
        }
    }

    DWORD error = plat::GetLastError();
    if (error == ERROR_NO_MORE_ITEMS && unread == ERROR_SUCCESS) {
        Trace("----> No more devices\n");
        return SearchResult::NotFound;
    }
    if (error == ERROR_NO_MORE_ITEMS) error = unread;
    TraceF("----> Abnormal Exit : GetLastError() = %08lxh\n", static_cast<unsigned long>(error));
    return SearchResult::Failed;
}

plat::DeviceInfoSet PresentComPortDevices() {
    return plat::DeviceInfoSet(plat::SetupDiGetClassDevsA(&plat::kComPortInterface, nullptr, nullptr,
                                                          DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
}

plat::DeviceInfoSet PresentPortsClassDevices() {
    return plat::DeviceInfoSet(plat::SetupDiGetClassDevsA(&plat::kPortsClass, nullptr, nullptr, DIGCF_PRESENT));
}

plat::DeviceInfoSet PresentDevices() {
    return plat::DeviceInfoSet(
        plat::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
}

plat::DeviceInfoSet AllDevices() {
    return plat::DeviceInfoSet(plat::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
}

SearchResult FindPortDevice(const char* hardwareId, plat::DeviceInfoSet* set, PSP_DEVINFO_DATA devInfo) {
    *set = PresentComPortDevices();
    const SearchResult found = FindDevice(hardwareId, SPDRP_HARDWAREID, devInfo, set->get());
    if (found != SearchResult::NotFound) return found;
    *set = PresentPortsClassDevices();
    return FindDevice(hardwareId, SPDRP_HARDWAREID, devInfo, set->get());
}

DeviceValue ReadFriendlyName(HDEVINFO set, PSP_DEVINFO_DATA devInfo) {
    char value[kPropertyBufferSize + 1] = {};
    DWORD type = 0;
    DeviceValue read;
    if (plat::SetupDiGetDeviceRegistryPropertyA(set, devInfo, SPDRP_FRIENDLYNAME, &type, reinterpret_cast<PBYTE>(value),
                                                kPropertyBufferSize, nullptr)) {
        read.state = DeviceValue::Present;
        read.text = value;
        return read;
    }
    read.error = plat::GetLastError();
    if (read.error == ERROR_INSUFFICIENT_BUFFER) {
        // There, but longer than any name this tool writes.
        read.state = DeviceValue::Present;
        read.text = "(a name longer than 99 characters)";
        return read;
    }
    read.state = read.error == ERROR_INVALID_DATA ? DeviceValue::Absent : DeviceValue::Unreadable;
    return read;
}
