// Handing a hardware ID and an INF file to the platform's driver update, and
// reading back the driver a device has.
#pragma once

#include "device/device_search.h"

// Installs the INF's driver on every present device with this hardware or
// compatible ID (forced, even over a better-ranked driver). Failures are
// traced with their cause. True when the platform reports success.
//
// Without `restartNeeded` the update is asked nothing about a restart, and
// the system puts up its own restart prompt when one is needed. With it the
// update tells, and a restart it asks for is traced and sets *restartNeeded
// (left as it is otherwise).
bool InstallDeviceDriver(const char* hardwareId, const char* infPath, bool* restartNeeded = nullptr);

// The driver the device has: Present with the "InfPath" of its driver key
// (the INF the system installed it from, as the system names its copy),
// Absent when the device has no driver key or the key names no INF.
DeviceValue ReadDeviceDriver(HDEVINFO set, PSP_DEVINFO_DATA devInfo);
