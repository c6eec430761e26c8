// Removing a device from the system.
#pragma once

#include "platform/platform.h"

// Removes the device `devInfo` of `set`; it stays in the set at its place but
// can no longer be read. True when the system reports success.
bool RemoveDevice(HDEVINFO set, PSP_DEVINFO_DATA devInfo);

// Whether the system needs a restart to finish with the device `devInfo` of
// `set` (DI_NEEDREBOOT or DI_NEEDRESTART in its install parameters), as a
// removal leaves them; a need is traced. Parameters that cannot be read are
// traced and tell of no restart.
bool NeedsRestart(HDEVINFO set, PSP_DEVINFO_DATA devInfo);
