// Giving a serial-port device a new port name and friendly name.
#pragma once

#include "platform/platform.h"

// Writes "PortName" = portName in the device's hardware key and the friendly
// name "<portLabel>(<portName>)". True when both were written; a port name
// written before a failing friendly-name write stays written.
bool ReassignComPort(const char* portName, const char* portLabel, SP_DEVINFO_DATA devInfo,
                     HDEVINFO set);
