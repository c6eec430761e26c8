#include "device_create.h"

#include "platform/setup_values.h"

#include <setupapi.h>

#include <cstring>

namespace pm {
namespace {

bool SetMachineValue(const std::string& keyPath, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

// Marks the interface enabled, as the port's driver does when it starts
// (Control\Linked = 1 below the interface's reference-string key): sets of
// present interfaces list only enabled ones on Windows and on later Wine
// releases (Wine 8.0 lists the others too). Windows keeps the key volatile;
// here it must survive the prefix being shut down and copied, so it is stored.
bool EnableInterface(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* iface) {
    char buffer[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + MAX_PATH];
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, iface, detail, sizeof buffer, nullptr, nullptr)) return false;
    // "\\?\root#zan_port#0000#{guid}" is kept as "##?#root#zan_port#0000#{guid}".
    std::string name = detail->DevicePath;
    if (name.size() < 4) return false;
    name.replace(0, 4, "##?#");
    const std::string path = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" +
                             plat::GuidText(plat::kComPortInterface) + "\\" + name + "\\#\\Control";
    const DWORD linked = 1;
    return SetMachineValue(path, "Linked", REG_DWORD, &linked, sizeof linked);
}

// The steps on an open device information list; the step that failed, or null.
const char* Create(HDEVINFO set, const NewDevice& device, std::string* instanceId) {
    SP_DEVINFO_DATA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    const char* description = device.description.empty() ? nullptr : device.description.c_str();
    if (!SetupDiCreateDeviceInfoA(set, device.name.c_str(), &device.setupClass, description, nullptr,
                                  DICD_GENERATE_ID, &data))
        return "SetupDiCreateDeviceInfoA";
    const std::string ids = plat::MultiSzBytes(device.hardwareIds);
    if (!device.hardwareIdAsSz &&
        !SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, reinterpret_cast<const BYTE*>(ids.data()),
                                           static_cast<DWORD>(ids.size())))
        return "setting SPDRP_HARDWAREID";
    if (description != nullptr &&
        !SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_DEVICEDESC, reinterpret_cast<const BYTE*>(description),
                                           static_cast<DWORD>(device.description.size() + 1)))
        return "setting SPDRP_DEVICEDESC";
    if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &data)) return "DIF_REGISTERDEVICE";
    char id[200];  // MAX_DEVICE_ID_LEN (cfgmgr32.h)
    if (!SetupDiGetDeviceInstanceIdA(set, &data, id, sizeof id, nullptr)) return "SetupDiGetDeviceInstanceIdA";
    if (device.hardwareIdAsSz) {
        // The setup API stores this property as REG_MULTI_SZ whatever it is
        // given; the single-string form goes straight into the device's key
        // (on Windows only the system may write there).
        const std::string one = device.hardwareIds.front() + std::string(1, '\0');
        if (!SetMachineValue(std::string("SYSTEM\\CurrentControlSet\\Enum\\") + id, "HardwareID", REG_SZ, one.data(),
                             static_cast<DWORD>(one.size())))
            return "writing HardwareID as REG_SZ";
    }
    if (device.comPortInterface) {
        SP_DEVICE_INTERFACE_DATA iface;
        std::memset(&iface, 0, sizeof iface);
        iface.cbSize = sizeof iface;
        if (!SetupDiCreateDeviceInterfaceA(set, &data, &plat::kComPortInterface, nullptr, 0, &iface) ||
            !EnableInterface(set, &iface))
            return "creating the serial-port interface";
    }
    if (device.parametersKey) {
        HKEY key = SetupDiCreateDevRegKeyA(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
        if (key == INVALID_HANDLE_VALUE) return "SetupDiCreateDevRegKeyA";
        RegCloseKey(key);
    }
    *instanceId = id;
    return nullptr;
}

}  // namespace

CreatedDevice CreateRootDevice(const NewDevice& device) {
    CreatedDevice created;
    HDEVINFO set = SetupDiCreateDeviceInfoList(&device.setupClass, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        created.failedStep = "SetupDiCreateDeviceInfoList";
        created.error = GetLastError();
        return created;
    }
    created.failedStep = Create(set, device, &created.instanceId);
    if (created.failedStep != nullptr) created.error = GetLastError();
    SetupDiDestroyDeviceInfoList(set);
    return created;
}

}  // namespace pm
