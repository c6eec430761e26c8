#include "installer/device_table.h"

#include <cstring>

namespace {

// Rows 1 and 2 are the same card with the one-port and four-port driver
// packages. The port rows' hardware ID suffixes do not follow the port
// letters; they are the card's own function numbering.
const DeviceEntry kStartTable[kDeviceRowCount + 1] = {
    {"ZANBaseD.inf", "ZAN 7350-21x Base Device", 0, " ", " ",
     "PCI\\VEN_1D9E&DEV_0B52&SUBSYS_0B531D9E", 1, 1},
    {".\\1port\\ZAN2kmf.inf", "ZAN 7350-21x Serial Multifunction Device", 0, " ", " ",
     "PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10", 1, 1},
    {".\\4port\\ZAN2kmf.inf", "ZAN 7350-21x Serial Multifunction Device", 0, " ", " ",
     "PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10", 0, 1},
    {"ZANPorts.inf", "Serial Port C", 1, "Serial Port C", "COM3", "MF\\PCI1D9E_COMF", 1, 0},
    {"ZANPorts.inf", "Serial Port D", 1, "Serial Port D", "COM4", "MF\\PCI1D9E_COMC", 0, 0},
    {"ZANPorts.inf", "Serial Port E", 1, "Serial Port E", "COM5", "MF\\PCI1D9E_COME", 0, 0},
    {"ZANPorts.inf", "Serial Port F", 1, "Serial Port F", "COM6", "MF\\PCI1D9E_COMD", 0, 0},
    {"*", "", 0, "", "", "", 0, 0},
};

}  // namespace

DeviceEntry g_deviceTable[kDeviceRowCount + 1] = {
    kStartTable[0], kStartTable[1], kStartTable[2], kStartTable[3],
    kStartTable[4], kStartTable[5], kStartTable[6], kStartTable[7],
};

void ResetDeviceTable() { std::memcpy(g_deviceTable, kStartTable, sizeof kStartTable); }
