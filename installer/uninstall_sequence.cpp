#include "installer/uninstall_sequence.h"

#include "device/device_removal.h"
#include "device/device_search.h"
#include "installer/device_table.h"
#include "installer/oem_inf_cleanup.h"
#include "installer/windows_folder.h"
#include "installer/status_board.h"
#include "platform/handles.h"
#include "platform/trace.h"

#include <cstring>

namespace {

constexpr DWORD kRemovalPauseMs = 1000;

void DeleteRowInfFiles(char* infName) {
    const std::string base = CutInfBaseName(infName);
    if (base.empty()) return;
    const std::string stem = g_windowsDir + "\\INF\\" + base;
    plat::DeleteFileA((stem + ".inf").c_str());
    plat::DeleteFileA((stem + ".pnf").c_str());
}

}  // namespace

std::string CutInfBaseName(char* infName) {
    char* start = infName;
    while (*start == '.') ++start;
    char* end = std::strchr(start, '.');
    if (end != nullptr) *end = '\0';
    return start;
}

bool RemoveInstalledDrivers(bool* restartNeeded) {
    Trace("**** Removing installed drivers ****");
    // Every device the system knows, present or not, for the whole pass.
    const plat::DeviceInfoSet set = AllDevices();

    g_status.SetLine("Removing previously installed drivers and devices...");
    plat::Sleep(kRemovalPauseMs);

    bool anyFound = false;
    for (DeviceEntry* row = g_deviceTable; !IsEndRow(*row); ++row) {
        if (row->removeFlag != 1) continue;
        g_status.SetLine("Removing %s...", row->description);
        SP_DEVINFO_DATA devInfo{};
        const SearchResult found = FindDevice(row->description, SPDRP_DEVICEDESC, &devInfo, set.get());
        if (found == SearchResult::NotFound) continue;
        if (found == SearchResult::Failed) {
            // The device may be there: an uninstall that cannot look must not say it is done.
            g_status.AppendResult("[Failed]");
            plat::Sleep(kRemovalPauseMs);
            return false;
        }
        anyFound = true;

        g_status.SetLine("%s found, removing...", row->description);
        plat::Sleep(kRemovalPauseMs);
        Trace("----> Driver installation found");
        Trace("----> Removing Device");
        Trace("--> REMOVING DEVICE....");
        if (!RemoveDevice(set.get(), &devInfo)) {
            g_status.SetLine("%s found, removing...[Failed]", row->description);
            plat::Sleep(kRemovalPauseMs);
            return false;
        }
        if (restartNeeded != nullptr && NeedsRestart(set.get(), &devInfo)) *restartNeeded = true;
        g_status.SetLine("%s found, removing...[OK]", row->description);
        plat::Sleep(kRemovalPauseMs);

        RemoveOemInfFiles(row->hardwareId);
        DeleteRowInfFiles(row->infName);
    }

    if (!anyFound) Trace("----> No driver installation found");
    g_status.SetLine("Uninstall Complete!");
    return true;
}
