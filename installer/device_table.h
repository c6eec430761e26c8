// The compiled-in table of the devices the tool installs, renames or removes.
#pragma once

#include <cstdint>

struct DeviceEntry {
    char infName[40];      // INF file relative to the Windows INF folder; "*" ends the table
    char description[80];  // shown in status lines; the search key for removal
    std::int32_t mapPort;  // 1: a serial port whose name is assigned after installation
    char portLabel[80];    // first half of the port's friendly name; " " for other rows
    char portName[80];     // COM name to assign; " " for other rows
    char hardwareId[80];   // driver update target, port search key, OEM INF search key
    std::uint8_t installFlag;
    std::uint8_t removeFlag;
};

// Rows addressed by number (the install choices set their flags).
enum DeviceRow : int {
    kRowBaseDevice = 0,
    kRowOnePortCard = 1,
    kRowFourPortCard = 2,
    kRowSerialPortC = 3,
    kRowSerialPortD = 4,
    kRowSerialPortE = 5,
    kRowSerialPortF = 6,
    kDeviceRowCount = 7,  // rows before the end row
};

// The base device's INF, deleted when the base device is declined.
constexpr const char kBaseDeviceInf[] = "ZANBaseD.inf";

// The table as the sequences read and change it during a run.
extern DeviceEntry g_deviceTable[kDeviceRowCount + 1];

// The end row is the first whose infName begins with '*'.
inline bool IsEndRow(const DeviceEntry& row) { return row.infName[0] == '*'; }

// Restores the start values (a process starts with them; tests run many operations).
void ResetDeviceTable();
