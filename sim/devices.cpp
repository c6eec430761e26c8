// The simulated machine's device setup: device information sets, device
// properties, removal, install parameters, the driver store and the driver
// update.
#include "sim/calls.h"

#include <algorithm>
#include <cstring>

namespace sim {
namespace {

// --- Device sets -------------------------------------------------------------

bool HasInterface(const sim::Device& device, const GUID& interfaceGuid) {
    for (const GUID& guid : device.interfaces) {
        if (sim::SameGuid(guid, interfaceGuid)) return true;
    }
    return false;
}

// An enumerator names a device's bus ("PCI"), or with interface sets one instance.
bool MatchesEnumerator(const std::string& instanceId, const std::string& enumerator) {
    const std::string bus = instanceId.substr(0, instanceId.find('\\'));
    return sim::EqualNoCase(bus, enumerator) || sim::EqualNoCase(instanceId, enumerator);
}

// The device behind an element of a set. Returns the error for a bad set or
// element; `record` is null once the device was removed.
DWORD LookupLocked(Impl& m, HDEVINFO set, const SP_DEVINFO_DATA* data, Impl::DeviceRecord** record,
                   Impl::SetElement** element = nullptr) {
    const auto found = m.sets.find(Id(set));
    if (found == m.sets.end()) return ERROR_INVALID_HANDLE;
    if (data == nullptr || data->cbSize != sizeof(SP_DEVINFO_DATA) || data->Reserved != Id(set)) {
        return ERROR_INVALID_PARAMETER;
    }
    auto& elements = found->second.elements;
    // Elements follow the machine's device order, so their numbers ascend.
    const auto at = std::lower_bound(elements.begin(), elements.end(), data->DevInst,
                                     [](const Impl::SetElement& e, DWORD n) { return e.devInst < n; });
    const bool member = at != elements.end() && at->devInst == data->DevInst;
    if (!member) return ERROR_INVALID_PARAMETER;
    *record = m.FindRecordLocked(data->DevInst);
    if (element != nullptr) *element = &*at;
    return ERROR_SUCCESS;
}

// The type each property the setup interface lets a caller write is stored with.
std::optional<DWORD> WritablePropertyType(DWORD property) {
    switch (property) {
    case SPDRP_HARDWAREID:
    case SPDRP_COMPATIBLEIDS:
    case SPDRP_UPPERFILTERS:
    case SPDRP_LOWERFILTERS:
        return REG_MULTI_SZ;
    case SPDRP_FRIENDLYNAME:
    case SPDRP_LOCATION_INFORMATION:
    case SPDRP_SECURITY_SDS:
    case SPDRP_UI_NUMBER_DESC_FORMAT:
        return REG_SZ;
    case SPDRP_CONFIGFLAGS:
    case SPDRP_EXCLUSIVE:
    case SPDRP_REMOVAL_POLICY_OVERRIDE:
        return REG_DWORD;
    case SPDRP_SECURITY:
        return REG_BINARY;
    default:
        return std::nullopt;
    }
}

bool CarriesId(const sim::Device& device, const std::string& id) {
    for (DWORD property : {SPDRP_HARDWAREID, SPDRP_COMPATIBLEIDS}) {
        const auto value = device.properties.find(property);
        if (value == device.properties.end()) continue;
        for (const std::string& entry : sim::SplitMultiSz(value->second.bytes)) {
            if (sim::EqualNoCase(entry, id)) return true;
        }
    }
    return false;
}

}  // namespace
}  // namespace sim

using namespace sim;

namespace plat {

// --- Device setup ----------------------------------------------------------------

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND, DWORD flags) {
    Call call("SetupDiGetClassDevsA");
    Impl& m = call.m;
    if (auto fault = call.fault) return FailHandle(*fault);
    const bool allClasses = (flags & DIGCF_ALLCLASSES) != 0;
    const bool interfaces = (flags & DIGCF_DEVICEINTERFACE) != 0;
    if (!allClasses && classGuid == nullptr) return FailHandle(ERROR_INVALID_PARAMETER);

    Impl::DeviceSet set;
    for (const auto& record : m.devices) {
        const sim::Device& device = record->device;
        if ((flags & DIGCF_PRESENT) && !device.present) continue;
        if (interfaces) {
            // With this flag the GUID names a device interface class.
            if (allClasses ? device.interfaces.empty() : !HasInterface(device, *classGuid)) continue;
        } else if (!allClasses && !sim::SameGuid(device.classGuid, *classGuid)) {
            continue;
        }
        if (enumerator != nullptr && *enumerator != '\0' &&
            !MatchesEnumerator(device.instanceId, enumerator)) {
            continue;
        }
        set.elements.push_back({record->devInst, device.classGuid});
    }
    const std::uintptr_t handle = m.NewHandleLocked();
    m.sets.emplace(handle, std::move(set));
    return MakeHandle<HDEVINFO>(handle);
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data) {
    Call call("SetupDiEnumDeviceInfo");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    const auto found = m.sets.find(Id(set));
    if (found == m.sets.end()) return Fail(ERROR_INVALID_HANDLE);
    if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (data->cbSize != sizeof(SP_DEVINFO_DATA)) return Fail(ERROR_INVALID_USER_BUFFER);
    const auto& elements = found->second.elements;
    if (index >= elements.size()) return Fail(ERROR_NO_MORE_ITEMS);
    data->ClassGuid = elements[index].classGuid;
    data->DevInst = elements[index].devInst;
    data->Reserved = Id(set);
    return TRUE;
}

BOOL SetupDiGetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property,
                                       PDWORD valueType, PBYTE buffer, DWORD bufferSize,
                                       PDWORD requiredSize) {
    Call call("SetupDiGetDeviceRegistryPropertyA");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    Impl::DeviceRecord* record = nullptr;
    if (DWORD error = LookupLocked(m, set, data, &record)) return Fail(error);
    if (property >= SPDRP_MAXIMUM_PROPERTY) return Fail(ERROR_INVALID_REG_PROPERTY);
    if (record == nullptr) return Fail(ERROR_NO_SUCH_DEVINST);
    if (buffer == nullptr && bufferSize != 0) return Fail(ERROR_INVALID_USER_BUFFER);
    const auto value = record->device.properties.find(property);
    if (value == record->device.properties.end()) return Fail(ERROR_INVALID_DATA);
    const std::string& bytes = value->second.bytes;
    const DWORD size = static_cast<DWORD>(bytes.size());
    if (requiredSize != nullptr) *requiredSize = size;
    if (size > bufferSize) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (size != 0) std::memcpy(buffer, bytes.data(), size);
    if (valueType != nullptr) *valueType = value->second.type;
    return TRUE;
}

BOOL SetupDiSetDeviceRegistryPropertyA(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property,
                                       const BYTE* buffer, DWORD bufferSize) {
    Call call("SetupDiSetDeviceRegistryPropertyA");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    Impl::DeviceRecord* record = nullptr;
    if (DWORD error = LookupLocked(m, set, data, &record)) return Fail(error);
    const std::optional<DWORD> type = WritablePropertyType(property);
    if (!type) return Fail(ERROR_INVALID_REG_PROPERTY);
    if (record == nullptr) return Fail(ERROR_NO_SUCH_DEVINST);
    if (buffer == nullptr && bufferSize != 0) return Fail(ERROR_INVALID_PARAMETER);
    auto& properties = record->device.properties;
    if (bufferSize == 0) {
        properties.erase(property);  // an empty value clears the property
    } else {
        properties[property] = {*type, std::string(reinterpret_cast<const char*>(buffer), bufferSize)};
    }
    return TRUE;
}

BOOL SetupDiGetDeviceInstanceIdA(HDEVINFO set, PSP_DEVINFO_DATA data, PSTR id, DWORD idSize,
                                 PDWORD requiredSize) {
    Call call("SetupDiGetDeviceInstanceIdA");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    Impl::DeviceRecord* record = nullptr;
    if (DWORD error = LookupLocked(m, set, data, &record)) return Fail(error);
    if (record == nullptr) return Fail(ERROR_NO_SUCH_DEVINST);
    if (id == nullptr && idSize != 0) return Fail(ERROR_INVALID_USER_BUFFER);
    const std::string& instanceId = record->device.instanceId;
    const DWORD needed = static_cast<DWORD>(instanceId.size() + 1);
    if (requiredSize != nullptr) *requiredSize = needed;
    if (idSize < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(id, instanceId.c_str(), needed);
    return TRUE;
}

BOOL SetupDiRemoveDevice(HDEVINFO set, PSP_DEVINFO_DATA data) {
    Call call("SetupDiRemoveDevice");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    Impl::DeviceRecord* record = nullptr;
    Impl::SetElement* element = nullptr;
    if (DWORD error = LookupLocked(m, set, data, &record, &element)) return Fail(error);
    if (record == nullptr) return Fail(ERROR_NO_SUCH_DEVINST);
    element->installFlags |= record->device.installFlagsOnRemoval;
    // The instance goes with its hardware key; elements of sets stay, empty.
    m.DeleteKeyLocked(Impl::EnumKeyParts(record->device.instanceId));
    m.byInstanceId.erase(record->device.instanceId);
    m.devices.erase(std::find_if(m.devices.begin(), m.devices.end(),
                                 [&](const auto& r) { return r.get() == record; }));
    return TRUE;
}

BOOL SetupDiGetDeviceInstallParamsA(HDEVINFO set, PSP_DEVINFO_DATA data, PSP_DEVINSTALL_PARAMS_A params) {
    Call call("SetupDiGetDeviceInstallParamsA");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    if (m.sets.count(Id(set)) == 0) return Fail(ERROR_INVALID_HANDLE);
    if (params == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (params->cbSize != sizeof(SP_DEVINSTALL_PARAMS_A)) return Fail(ERROR_INVALID_USER_BUFFER);
    DWORD flags = 0;  // the set's own parameters, when no element is named
    if (data != nullptr) {
        // The parameters belong to the element: they stay readable after a removal.
        Impl::DeviceRecord* record = nullptr;
        Impl::SetElement* element = nullptr;
        if (DWORD error = LookupLocked(m, set, data, &record, &element)) return Fail(error);
        flags = element->installFlags;
    }
    const DWORD size = params->cbSize;
    std::memset(params, 0, sizeof *params);
    params->cbSize = size;
    params->Flags = flags;
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
    Call call("SetupDiDestroyDeviceInfoList");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    if (m.sets.erase(Id(set)) == 0) return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

// The driver key is where the device's SPDRP_DRIVER points below the Class
// key; a device without a driver has none. The hardware key is its "Device
// Parameters" key.
HKEY SetupDiOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD scope, DWORD, DWORD keyType, REGSAM) {
    Call call("SetupDiOpenDevRegKey");
    Impl& m = call.m;
    const auto fail = [](DWORD error) { return static_cast<HKEY>(FailHandle(error)); };
    if (auto fault = call.fault) return fail(*fault);
    Impl::DeviceRecord* record = nullptr;
    if (DWORD error = LookupLocked(m, set, data, &record)) return fail(error);
    if (scope != DICS_FLAG_GLOBAL || (keyType != DIREG_DRV && keyType != DIREG_DEV)) return fail(ERROR_INVALID_FLAGS);
    if (record == nullptr) return fail(ERROR_NO_SUCH_DEVINST);
    std::vector<std::string> path;
    if (keyType == DIREG_DEV) {
        path = Impl::EnumKeyParts(record->device.instanceId);
        path.push_back("Device Parameters");
    } else {
        const auto driver = record->device.properties.find(SPDRP_DRIVER);
        if (driver == record->device.properties.end()) return fail(ERROR_KEY_DOES_NOT_EXIST);
        path = {"SYSTEM", "CurrentControlSet", "Control", "Class"};
        for (std::string& part : sim::SplitKeyPath(sim::SzText(driver->second))) path.push_back(std::move(part));
    }
    if (m.FindKeyLocked(path) == nullptr) return fail(ERROR_KEY_DOES_NOT_EXIST);
    const std::uintptr_t handle = m.NewHandleLocked();
    m.openKeys.emplace(handle, std::move(path));
    return MakeHandle<HKEY>(handle);
}

// A package leaves the store only with its published INF: when that cannot be
// deleted nothing changes. Its PNF goes too when it can.
BOOL SetupUninstallOEMInfA(PCSTR infFileName, DWORD flags, PVOID) {
    Call call("SetupUninstallOEMInfA");
    Impl& m = call.m;
    if (auto fault = call.fault) return Fail(*fault);
    if (infFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (flags & ~SUOI_FORCEDELETE) return Fail(ERROR_INVALID_FLAGS);
    const std::string name = infFileName;
    const std::string inf = std::string(Machine::kWindowsDir) + "\\INF\\" + name;
    const Impl::Resolved file = m.ResolveLocked(inf);
    // Names that are no published package of the store, present or not.
    if (name.find_first_of("\\/") != std::string::npos || m.packages.count(name) == 0 ||
        file.error != ERROR_SUCCESS || !file.exists || file.isDir) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    if (!(flags & SUOI_FORCEDELETE)) {
        for (const auto& record : m.devices) {
            if (sim::EqualNoCase(record->device.driverPackage, name)) return Fail(ERROR_INF_IN_USE_BY_DEVICES);
        }
    }
    if (DWORD error = m.DeleteFileLocked(inf)) return Fail(error);
    m.DeleteFileLocked(inf.substr(0, inf.rfind('.')) + ".PNF");
    m.packages.erase(name);
    return TRUE;
}

// --- Driver update -------------------------------------------------------------------

BOOL UpdateDriverForPlugAndPlayDevicesA(HWND, LPCSTR hardwareId, LPCSTR infPath, DWORD installFlags,
                                        PBOOL rebootRequired) {
    Call call("UpdateDriverForPlugAndPlayDevicesA");
    Impl& m = call.m;
    m.driverUpdates.push_back(
        {hardwareId ? hardwareId : "", infPath ? infPath : "", installFlags, rebootRequired != nullptr});
    if (auto fault = call.fault) return Fail(*fault);
    if (hardwareId == nullptr || infPath == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (installFlags & ~(INSTALLFLAG_FORCE | INSTALLFLAG_READONLY | INSTALLFLAG_NONINTERACTIVE)) {
        return Fail(ERROR_INVALID_FLAGS);
    }
    const Impl::Resolved inf = m.ResolveLocked(infPath);
    if (inf.error != ERROR_SUCCESS || !inf.exists || inf.isDir) return Fail(ERROR_FILE_NOT_FOUND);

    // Driver ranking is not simulated: every call installs as if forced.
    bool matched = false;
    for (auto& record : m.devices) {
        if (!record->device.present || !CarriesId(record->device, hardwareId)) continue;
        record->device.driverInf = infPath;
        m.WriteDriverKeyLocked(*record);
        matched = true;
    }
    if (!matched) return Fail(ERROR_NO_SUCH_DEVINST);
    if (rebootRequired != nullptr) *rebootRequired = TheMachine().driverUpdateNeedsRestart.load() ? TRUE : FALSE;
    return TRUE;
}

}  // namespace plat
