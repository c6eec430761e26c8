#include "installer/install_sequence.h"

#include "device/driver_update.h"
#include "installer/device_table.h"
#include "installer/windows_folder.h"
#include "installer/port_mapping.h"
#include "installer/status_board.h"
#include "platform/platform.h"
#include "platform/trace.h"

namespace {

bool AskYesNo(const char* question, const char* caption) {
    return plat::MessageBoxA(nullptr, question, caption, MB_YESNO) == IDYES;
}

}  // namespace

bool InstallTiDevice(const char* infName, const char* hardwareId, bool* restartNeeded) {
    Trace("**** InstallTiDevice(), Installing Root Port USB Driver ****");
    // Joined as given: ".\1port\ZAN2kmf.inf" stays "...\INF\.\1port\ZAN2kmf.inf".
    const std::string infPath = g_windowsDir + "\\INF\\" + infName;
    const bool installed = InstallDeviceDriver(hardwareId, infPath.c_str(), restartNeeded);
    if (!installed) Trace("--> Failure installing Driver");
    return installed;
}

void ApplyInstallChoices(bool installBase, bool multiPort) {
    g_deviceTable[kRowBaseDevice].installFlag = installBase ? 1 : 0;
    if (multiPort) {
        g_deviceTable[kRowFourPortCard].installFlag = 1;
        g_deviceTable[kRowOnePortCard].installFlag = 0;
        g_deviceTable[kRowSerialPortD].installFlag = 1;
        g_deviceTable[kRowSerialPortE].installFlag = 1;
        g_deviceTable[kRowSerialPortF].installFlag = 1;
    }
}

bool InstallDrivers(const OperationChoices& options, bool* restartNeeded) {
    bool installBase = false;
    bool multiPort = false;
    if (options.silent) {
        installBase = options.installBase;
        multiPort = options.multiPort;
    } else {
        installBase = AskYesNo(
            "Do you want to install the base device driver?\n\nNote: Not recommended if "
            "installing the ZAN Point of Sale drivers.\n",
            "Install the Base Device Driver?");
        multiPort = AskYesNo("Is an RS-232 Marovel card present?\n\n",
                             "Install the Marovel RS-232 Driver?");
    }

    ApplyInstallChoices(installBase, multiPort);
    if (!installBase) {
        // A declined base device must not be picked up later from the INF folder.
        plat::DeleteFileA((g_windowsDir + "\\INF\\" + kBaseDeviceInf).c_str());
    }

    for (const DeviceEntry* row = g_deviceTable; !IsEndRow(*row); ++row) {
        if (row->installFlag != 1) continue;
        g_status.SetLine("Installing %s...", row->description);
        if (!InstallTiDevice(row->infName, row->hardwareId, restartNeeded)) {
            g_status.AppendResult("[Failed]");
            plat::Sleep(kResultPauseMs);
            return false;
        }
        g_status.AppendResult("[OK]");
        plat::Sleep(kResultPauseMs);
    }

    MapComPorts();
    return true;
}
