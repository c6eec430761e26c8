// Removing a device from the system.
#pragma once

#include "platform/platform.h"

// Removes the device `devInfo` of `set`; it stays in the set at its place but
// can no longer be read. True when the system reports success.
bool RemoveDevice(HDEVINFO set, PSP_DEVINFO_DATA devInfo);
