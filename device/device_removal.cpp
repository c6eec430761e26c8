#include "device/device_removal.h"

bool RemoveDevice(HDEVINFO set, PSP_DEVINFO_DATA devInfo) {
    return plat::SetupDiRemoveDevice(set, devInfo) != FALSE;
}
