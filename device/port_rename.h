// Giving a serial-port device a new port name and friendly name.
#pragma once

#include "device/device_search.h"
#include "platform/platform.h"

#include <string>

// Writes "PortName" = portName in the device's hardware key and the friendly
// name "<portLabel>(<portName>)". True when both were written; a port name
// written before a failing friendly-name write stays written.
bool ReassignComPort(const char* portName, const char* portLabel, SP_DEVINFO_DATA devInfo,
                     HDEVINFO set);

// The friendly name ReassignComPort gives a port: "Serial Port C(COM3)".
std::string PortFriendlyName(const char* portLabel, const char* portName);

// The "PortName" value in the device's hardware key, where ReassignComPort
// writes it: absent when the key or the value is not there.
DeviceValue ReadPortName(SP_DEVINFO_DATA devInfo, HDEVINFO set);
