// The machine's devices: profiles, creation in the device database, and the
// driver update call used to check the INF files.
#include "posmachine.h"

#include <newdev.h>

#include <cstdio>

namespace pm {

const char kBaseDescription[] = "ZAN 7350-21x Base Device";
const char kCardDescription[] = "ZAN 7350-21x Serial Multifunction Device";
const char kBaseId[] = "PCI\\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E";
const char kCardIdRev[] = "PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10";
const char kCardId[] = "PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E";

namespace {

NewDevice Base() { return {"ZAN_BASE", kSystemClass, kBaseDescription, {kBaseId}}; }
NewDevice Card() { return {"ZAN_MF", kMultifunctionClass, kCardDescription, {kCardIdRev, kCardId}}; }

// A serial port exposes the ports interface and has a "Device Parameters" key.
NewDevice Port(const char* label, const char* hardwareId) {
    NewDevice port{"ZAN_PORT", kPortsClass, label, {hardwareId}};
    port.comPortInterface = true;
    port.parametersKey = true;
    return port;
}

// The card's ports in the order of their labels; the hardware ID suffixes do
// not follow the letters.
std::vector<NewDevice> Ports(int count) {
    static const char* const kIds[4] = {"MF\\PCI1D9E_COMF", "MF\\PCI1D9E_COMC", "MF\\PCI1D9E_COME",
                                        "MF\\PCI1D9E_COMD"};
    static const char* const kLabels[4] = {"Serial Port C", "Serial Port D", "Serial Port E",
                                           "Serial Port F"};
    std::vector<NewDevice> ports;
    for (int i = 0; i < count; ++i) ports.push_back(Port(kLabels[i], kIds[i]));
    return ports;
}

void Append(std::vector<NewDevice>& out, std::vector<NewDevice> more) {
    out.insert(out.end(), more.begin(), more.end());
}

// Creates one device; prints what failed and returns false on error.
bool CreateDevice(const NewDevice& device) {
    const CreatedDevice created = CreateRootDevice(device);
    if (created.failedStep == nullptr) return true;
    std::fprintf(stderr, "posmachine: %s failed for \"%s\" (error %08lx)\n", created.failedStep,
                 device.description.c_str(), static_cast<unsigned long>(created.error));
    return false;
}

}  // namespace

bool ProfileDevices(const std::string& word, std::vector<NewDevice>& out) {
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
        out.push_back({"ZAN_0DECOY", kSystemClass, "ZAN 7350-21x Base Device 2", {"ZANDECOY\\LONGER_DESCRIPTION"}});
        out.push_back({"ZAN_0DECOY", kSystemClass, "ZAN 7350-21x Base", {"ZANDECOY\\SHORTER_DESCRIPTION"}});
    } else if (word == "card2") {
        // A second card of the same kind, for the removal's second card row.
        out.push_back(Card());
    } else {
        return false;
    }
    return true;
}

int CmdCreate(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fprintf(stderr, "usage: posmachine create <full4|full1|nobase|empty|decoys|card2|nointerface>...\n");
        return 2;
    }
    std::vector<NewDevice> devices;
    bool portsWithoutInterface = false;
    for (const auto& word : args) {
        // Ports whose driver stack loads no serial enumerator: Ports class, no interface.
        if (word == "nointerface") {
            portsWithoutInterface = true;
            continue;
        }
        if (!ProfileDevices(word, devices)) {
            std::fprintf(stderr, "posmachine: unknown profile \"%s\"\n", word.c_str());
            return 2;
        }
    }
    for (auto& device : devices) {
        if (portsWithoutInterface) device.comPortInterface = false;
        if (!CreateDevice(device)) return 1;
    }
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
