#include "installer/machine_check.h"

#include "device/device_search.h"
#include "device/driver_update.h"
#include "device/port_rename.h"
#include "installer/device_table.h"
#include "installer/install_sequence.h"
#include "installer/oem_inf_cleanup.h"
#include "platform/trace.h"

#include <cstdio>
#include <set>
#include <vector>

namespace {

std::string ErrorText(DWORD error) {
    char text[40];
    std::snprintf(text, sizeof text, "GetLastError() = %08lxh", static_cast<unsigned long>(error));
    return text;
}

// The items checked so far and what the summary line says of them.
class Items {
public:
    // One item: traced, and counted. `difference` is its part of the summary
    // line when it differs or could not be read.
    void Add(const std::string& item, const std::string& expected, const std::string& found, CheckVerdict state,
             const std::string& difference = "") {
        static const char* const kMarks[] = {" [OK]", " [Differs]", " [Not read]"};
        Trace(("--> Check " + item + ": expected " + expected + "; found " + found +
               kMarks[static_cast<int>(state)])
                  .c_str());
        ++count_;
        if (state == CheckVerdict::Differs) differences_.push_back(difference);
        if (state == CheckVerdict::Unread) unread_.push_back(difference);
    }

    // The verdict line, and the result with its summary: `asLeft` says what
    // the machine holds when every item is as the operation leaves it.
    MachineCheck Verdict(const char* operation, const std::string& asLeft, const char* notAsLeft) const {
        MachineCheck check;
        char line[160];
        if (!unread_.empty()) {
            check.verdict = CheckVerdict::Unread;
            std::snprintf(line, sizeof line, "--> Check verdict: %zu of %d items could not be read, %zu differ",
                          unread_.size(), count_, differences_.size());
            check.summary = "ZAN drivers could not be checked: " + Joined(unread_);
            if (!differences_.empty()) check.summary += "; besides, " + Joined(differences_);
        } else if (!differences_.empty()) {
            check.verdict = CheckVerdict::Differs;
            std::snprintf(line, sizeof line, "--> Check verdict: %zu of %d items differ from what %s leaves",
                          differences_.size(), count_, operation);
            check.summary = std::string(notAsLeft) + Joined(differences_);
        } else {
            std::snprintf(line, sizeof line, "--> Check verdict: the machine is as %s leaves it (%d items)", operation,
                          count_);
            check.summary = asLeft;
        }
        Trace(line);
        return check;
    }

private:
    static std::string Joined(const std::vector<std::string>& parts) {
        std::string text;
        for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
        return text;
    }

    int count_ = 0;
    std::vector<std::string> differences_;
    std::vector<std::string> unread_;
};

// --- An installed machine ---------------------------------------------------------

// The row's device, found as the install's own steps find it: present with
// a driver.
void CheckDriver(Items& items, const DeviceEntry& row, SearchResult found, HDEVINFO set, SP_DEVINFO_DATA& devInfo) {
    const std::string item = std::string(row.description) + " (" + row.hardwareId + ")";
    const char* const expected = "a present device with a driver";
    if (found == SearchResult::Failed) {
        items.Add(item, expected, "nothing: the device list could not be read", CheckVerdict::Unread,
                  std::string("the device list for ") + row.description + " could not be read");
        return;
    }
    if (found == SearchResult::NotFound) {
        items.Add(item, expected, "no present device", CheckVerdict::Differs,
                  std::string(row.description) + " is not present");
        return;
    }
    const DeviceValue driver = ReadDeviceDriver(set, &devInfo);
    switch (driver.state) {
    case DeviceValue::Present:
        items.Add(item, expected, "a present device with the driver of " + driver.text, CheckVerdict::AsLeft);
        break;
    case DeviceValue::Absent:
        items.Add(item, expected, "a present device without a driver", CheckVerdict::Differs,
                  std::string(row.description) + " has no driver");
        break;
    case DeviceValue::Unreadable:
        items.Add(item, expected, "a present device whose driver could not be read (" + ErrorText(driver.error) + ")",
                  CheckVerdict::Unread, std::string("the driver of ") + row.description + " could not be read");
        break;
    }
}

std::string Shown(const DeviceValue& value) {
    switch (value.state) {
    case DeviceValue::Present:
        return "\"" + value.text + "\"";
    case DeviceValue::Absent:
        return "none";
    case DeviceValue::Unreadable:
        break;
    }
    return "unreadable (" + ErrorText(value.error) + ")";
}

// The port's names, as the port mapping writes them.
void CheckPortNames(Items& items, const DeviceEntry& row, HDEVINFO set, const SP_DEVINFO_DATA& devInfo) {
    const std::string friendlyName = PortFriendlyName(row.portLabel, row.portName);
    const DeviceValue portName = ReadPortName(devInfo, set);
    SP_DEVINFO_DATA element = devInfo;
    const DeviceValue friendly = ReadFriendlyName(set, &element);
    const std::string item = std::string(row.portLabel) + " names";
    const std::string expected = std::string("PortName \"") + row.portName + "\" and friendly name \"" +
                                 friendlyName + "\"";
    const std::string found = "PortName " + Shown(portName) + " and friendly name " + Shown(friendly);
    if (portName.state == DeviceValue::Unreadable || friendly.state == DeviceValue::Unreadable) {
        items.Add(item, expected, found, CheckVerdict::Unread,
                  std::string("the names of ") + row.portLabel + " could not be read");
        return;
    }
    const bool portNameRight = portName.state == DeviceValue::Present && portName.text == row.portName;
    const bool friendlyRight = friendly.state == DeviceValue::Present && friendly.text == friendlyName;
    if (portNameRight && friendlyRight) {
        items.Add(item, expected, found, CheckVerdict::AsLeft);
        return;
    }
    std::string difference = std::string(row.portLabel) + " is ";
    if (!portNameRight) {
        difference += (portName.state == DeviceValue::Present ? portName.text : "unnamed") + ", not " + row.portName;
    } else {
        difference += "named " + Shown(friendly) + ", not \"" + friendlyName + "\"";
    }
    items.Add(item, expected, found, CheckVerdict::Differs, difference);
}

// "base device; Serial Ports C to F are COM3 to COM6" for the rows selected.
std::string Installed() {
    const std::string base = g_deviceTable[kRowBaseDevice].installFlag == 1 ? "base device; " : "";
    std::vector<const DeviceEntry*> ports;
    for (const DeviceEntry* row = g_deviceTable; !IsEndRow(*row); ++row) {
        if (row->installFlag == 1 && row->mapPort == 1) ports.push_back(row);
    }
    if (ports.empty()) return base + "no serial port";
    const DeviceEntry& first = *ports.front();
    const DeviceEntry& last = *ports.back();
    if (ports.size() == 1) return base + first.portLabel + " is " + first.portName;
    const auto letter = [](const DeviceEntry& row) { return std::string(row.portLabel).back(); };
    return base + "Serial Ports " + letter(first) + " to " + letter(last) + " are " + first.portName + " to " +
           last.portName;
}

MachineCheck CheckInstalled(const OperationChoices& choices) {
    Trace("**** Checking the machine against an install ****");
    ApplyInstallChoices(choices.installBase, choices.multiPort);
    Items items;
    for (const DeviceEntry* row = g_deviceTable; !IsEndRow(*row); ++row) {
        if (row->installFlag != 1) continue;
        plat::DeviceInfoSet set;
        SP_DEVINFO_DATA devInfo{};
        SearchResult found;
        if (row->mapPort == 1) {
            found = FindPortDevice(row->hardwareId, &set, &devInfo);
        } else {
            set = PresentDevices();
            found = FindDevice(row->hardwareId, SPDRP_HARDWAREID, &devInfo, set.get());
        }
        CheckDriver(items, *row, found, set.get(), devInfo);
        if (row->mapPort == 1 && found == SearchResult::Found) CheckPortNames(items, *row, set.get(), devInfo);
    }
    return items.Verdict("an install", "ZAN drivers installed: " + Installed(), "ZAN drivers not installed: ");
}

// --- An uninstalled machine -------------------------------------------------------

MachineCheck CheckUninstalled() {
    Trace("**** Checking the machine against an uninstall ****");
    Items items;
    // Every device the system knows, present or not, as the uninstall searches them.
    const plat::DeviceInfoSet set = AllDevices();
    std::set<std::string> checked;
    for (const DeviceEntry* row = g_deviceTable; !IsEndRow(*row); ++row) {
        if (row->removeFlag != 1 || !checked.insert(row->description).second) continue;
        SP_DEVINFO_DATA devInfo{};
        switch (FindDevice(row->description, SPDRP_DEVICEDESC, &devInfo, set.get())) {
        case SearchResult::NotFound:
            items.Add(row->description, "no device", "none", CheckVerdict::AsLeft);
            break;
        case SearchResult::Found: {
            char instanceId[100] = {};
            if (!plat::SetupDiGetDeviceInstanceIdA(set.get(), &devInfo, instanceId, sizeof instanceId, nullptr)) {
                std::snprintf(instanceId, sizeof instanceId, "its instance ID unread");
            }
            items.Add(row->description, "no device", std::string("a device (") + instanceId + ")",
                      CheckVerdict::Differs, std::string(row->description) + " is still there");
            break;
        }
        case SearchResult::Failed:
            items.Add(row->description, "no device", "nothing: the device list could not be read",
                      CheckVerdict::Unread, std::string("the device list for ") + row->description + " could not be read");
            break;
        }
    }
    checked.clear();
    for (const DeviceEntry* row = g_deviceTable; !IsEndRow(*row); ++row) {
        if (row->removeFlag != 1 || !checked.insert(row->hardwareId).second) continue;
        std::string named;
        const OemInfWalk walk = VisitOemInfCopies(row->hardwareId, [&named](const char*, const char* fileName) {
            named += (named.empty() ? "" : ", ") + std::string(fileName);
        });
        const std::string item = std::string("OEM INF copies naming ") + row->hardwareId;
        std::string unread;
        for (const std::string& name : walk.unread) unread += (unread.empty() ? "" : ", ") + name;
        if (!walk.searched || !walk.unread.empty()) {
            const std::string found = !walk.searched ? "nothing: the INF folder could not be searched"
                                                     : (named.empty() ? "none" : named) + "; unread: " + unread;
            items.Add(item, "none", found, CheckVerdict::Unread,
                      std::string("the OEM INF copies could not be read for ") + row->hardwareId);
        } else if (!named.empty()) {
            items.Add(item, "none", named, CheckVerdict::Differs, named + " names " + row->hardwareId);
        } else {
            items.Add(item, "none", "none", CheckVerdict::AsLeft);
        }
    }
    return items.Verdict("an uninstall", "ZAN drivers removed: no card, no base device, no OEM INF copy of theirs",
                         "ZAN drivers not removed: ");
}

}  // namespace

MachineCheck CheckMachine(const OperationChoices& choices) {
    return choices.operation == Operation::Uninstall ? CheckUninstalled() : CheckInstalled(choices);
}
