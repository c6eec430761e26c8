// The machine's devices: profiles, creation in the device database, and the
// driver update call used to check the INF files.
#include "posmachine.h"

#include <newdev.h>

#include <cstdio>
#include <cstring>

namespace pm {

const GUID kSystemClass = {0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kMultifunctionClass = {0x4D36E971, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kPortsInterface = kPortsClass;

const char kBaseDescription[] = "ZAN 7350-21x Base Device";
const char kCardDescription[] = "ZAN 7350-21x Serial Multifunction Device";
const char kBaseId[] = "PCI\\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E";
const char kCardIdRev[] = "PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10";
const char kCardId[] = "PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E";

namespace {

DeviceDef Base() { return {"ZAN_BASE", &kSystemClass, kBaseDescription, {kBaseId}, false}; }
DeviceDef Card() { return {"ZAN_MF", &kMultifunctionClass, kCardDescription, {kCardIdRev, kCardId}, false}; }

// The card's ports in the order of their labels; the hardware ID suffixes do
// not follow the letters.
std::vector<DeviceDef> Ports(int count) {
    static const char* const kIds[4] = {"MF\\PCI1D9E_COMF", "MF\\PCI1D9E_COMC", "MF\\PCI1D9E_COME",
                                        "MF\\PCI1D9E_COMD"};
    static const char* const kLabels[4] = {"Serial Port C", "Serial Port D", "Serial Port E",
                                           "Serial Port F"};
    std::vector<DeviceDef> ports;
    for (int i = 0; i < count; ++i) ports.push_back({"ZAN_PORT", &kPortsClass, kLabels[i], {kIds[i]}, true});
    return ports;
}

void Append(std::vector<DeviceDef>& out, std::vector<DeviceDef> more) {
    out.insert(out.end(), more.begin(), more.end());
}

std::string MultiSz(const std::vector<std::string>& strings) {
    std::string bytes;
    for (const auto& s : strings) bytes.append(s).push_back('\0');
    bytes.push_back('\0');
    return bytes;
}

// Marks the interface enabled, as the port's driver would when it starts
// (Control\Linked = 1 below the interface's reference-string key). Wine 8.0
// lists interfaces without it too; later Wine releases list only linked
// interfaces for DIGCF_PRESENT. Windows keeps the key volatile; here it must
// survive the prefix being shut down and copied, so it is stored.
bool EnableInterface(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* iface) {
    char buffer[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + MAX_PATH];
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(set, iface, detail, sizeof(buffer), nullptr, nullptr)) return false;
    // "\\?\root#zan_port#0000#{guid}" is kept as "##?#root#zan_port#0000#{guid}".
    std::string name = detail->DevicePath;
    if (name.size() < 4) return false;
    name.replace(0, 4, "##?#");
    std::string path = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" + GuidText(kPortsInterface) + "\\" +
                       name + "\\#\\Control";
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    DWORD linked = 1;
    LONG result = RegSetValueExA(key, "Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked), sizeof(linked));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

void Fail(const char* what, const DeviceDef& device) {
    std::fprintf(stderr, "posmachine: %s failed for \"%s\" (error %08lx)\n", what, device.description,
                 GetLastError());
}

}  // namespace

bool ProfileDevices(const std::string& word, std::vector<DeviceDef>& out) {
    if (word == "full4") {
        out.push_back(Base());
        out.push_back(Card());
        Append(out, Ports(4));
    } else if (word == "full1") {
        out.push_back(Base());
        out.push_back(Card());
        Append(out, Ports(1));
    } else if (word == "nobase") {
        out.push_back(Card());
        Append(out, Ports(4));
    } else if (word == "empty") {
    } else if (word == "decoys") {
        // Descriptions the removal must not take for the base device's: one
        // longer, one a shorter piece of it. Their instance IDs sort before
        // the base device's, so a search by description meets them first.
        out.push_back({"ZAN_0DECOY", &kSystemClass, "ZAN 7350-21x Base Device 2", {"ZANDECOY\\LONGER_DESCRIPTION"}, false});
        out.push_back({"ZAN_0DECOY", &kSystemClass, "ZAN 7350-21x Base", {"ZANDECOY\\SHORTER_DESCRIPTION"}, false});
    } else if (word == "card2") {
        // A second card of the same kind, for the removal's second card row.
        out.push_back(Card());
    } else {
        return false;
    }
    return true;
}

bool CreateDevice(const DeviceDef& device) {
    HDEVINFO set = SetupDiCreateDeviceInfoList(device.setupClass, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        Fail("SetupDiCreateDeviceInfoList", device);
        return false;
    }
    bool ok = false;
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    const std::string ids = MultiSz(device.hardwareIds);
    if (!SetupDiCreateDeviceInfoA(set, device.name, device.setupClass, device.description, nullptr,
                                  DICD_GENERATE_ID, &data)) {
        Fail("SetupDiCreateDeviceInfoA", device);
    } else if (!SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID,
                                                  reinterpret_cast<const BYTE*>(ids.data()),
                                                  static_cast<DWORD>(ids.size()))) {
        Fail("setting SPDRP_HARDWAREID", device);
    } else if (!SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_DEVICEDESC,
                                                  reinterpret_cast<const BYTE*>(device.description),
                                                  static_cast<DWORD>(std::strlen(device.description) + 1))) {
        Fail("setting SPDRP_DEVICEDESC", device);
    } else if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &data)) {
        Fail("DIF_REGISTERDEVICE", device);
    } else {
        ok = true;
        if (device.serialPort) {
            SP_DEVICE_INTERFACE_DATA iface{};
            iface.cbSize = sizeof(iface);
            if (!SetupDiCreateDeviceInterfaceA(set, &data, &kPortsInterface, nullptr, 0, &iface) ||
                !EnableInterface(set, &iface)) {
                Fail("creating the ports interface", device);
                ok = false;
            }
            HKEY key = SetupDiCreateDevRegKeyA(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
            if (key == INVALID_HANDLE_VALUE) {
                Fail("SetupDiCreateDevRegKeyA", device);
                ok = false;
            } else {
                RegCloseKey(key);
            }
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return ok;
}

int CmdCreate(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fprintf(stderr, "usage: posmachine create <full4|full1|nobase|empty|decoys|card2>...\n");
        return 2;
    }
    std::vector<DeviceDef> devices;
    for (const auto& word : args) {
        if (!ProfileDevices(word, devices)) {
            std::fprintf(stderr, "posmachine: unknown profile \"%s\"\n", word.c_str());
            return 2;
        }
    }
    for (const auto& device : devices)
        if (!CreateDevice(device)) return 1;
    return 0;
}

// update <hardware id> <inf path>: the driver update exactly as the installer
// makes it, with its result and last error.
int CmdUpdate(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: posmachine update <hardware id> <inf path>\n");
        return 2;
    }
    SetLastError(0);
    BOOL result = UpdateDriverForPlugAndPlayDevicesA(nullptr, args[0].c_str(), args[1].c_str(),
                                                     INSTALLFLAG_FORCE, nullptr);
    DWORD error = GetLastError();
    std::printf("UpdateDriverForPlugAndPlayDevicesA = %d, last error %08lx\n", result, error);
    return result ? 0 : 1;
}

}  // namespace pm
