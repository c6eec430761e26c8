#include "installer/port_mapping.h"

#include "device/device_search.h"
#include "device/port_rename.h"
#include "installer/device_table.h"
#include "installer/status_board.h"
#include "platform/handles.h"
#include "platform/trace.h"

bool AssignComPort(const char* hardwareId, const char* portName, const char* portLabel) {
    plat::DeviceInfoSet set;
    SP_DEVINFO_DATA devInfo{};
    switch (FindPortDevice(hardwareId, &set, &devInfo)) {
    case SearchResult::NotFound:
        return true;
    case SearchResult::Failed:  // the port may be there: it is not counted as mapped
        break;
    case SearchResult::Found:
        if (ReassignComPort(portName, portLabel, devInfo, set.get())) return true;
        break;
    }
    Trace("--> Error assigning COM port");
    return false;
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
