#include "installer/port_mapping.h"

#include "device/device_search.h"
#include "device/port_rename.h"
#include "installer/device_table.h"
#include "installer/status_board.h"
#include "platform/handles.h"
#include "platform/trace.h"

bool AssignComPort(const char* hardwareId, const char* portName, const char* portLabel) {
    // An unobtainable set is not checked: the search then traces the error and finds nothing.
    const plat::DeviceInfoSet set = PresentComPortDevices();
    SP_DEVINFO_DATA devInfo{};
    if (!FindDevice(hardwareId, SPDRP_HARDWAREID, &devInfo, set.get())) return true;
    if (!ReassignComPort(portName, portLabel, devInfo, set.get())) {
        Trace("--> Error assigning COM port");
        return false;
    }
    return true;
}

bool MapComPorts() {
    for (const DeviceEntry* row = g_deviceTable; !IsEndRow(*row); ++row) {
        if (row->installFlag != 1 || row->mapPort != 1) continue;
        g_status.SetLine("Mapping %s to %s...", row->portLabel, row->portName);
        const bool mapped = AssignComPort(row->hardwareId, row->portName, row->portLabel);
        g_status.AppendResult(mapped ? "[OK]" : "[Failed]");
        plat::Sleep(kResultPauseMs);
    }
    return true;
}
