// The plat:: operations on the simulated machine. Each one takes the machine's
// lock, counts the call, fails the way the Windows function fails when a fault
// is injected for it, and otherwise does what Windows does with what the
// machine holds. Hooks (onSleep, onMessageBox) run after the lock is released.
#include "../platform.h"
#include "machine_impl.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

namespace fs = std::filesystem;
using sim::Machine;
using Impl = sim::Machine::Impl;

thread_local DWORD t_lastError = ERROR_SUCCESS;

void SetLastError(DWORD error) { t_lastError = error; }

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

HANDLE FailHandle(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

std::uintptr_t Id(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

template <typename H>
H MakeHandle(std::uintptr_t id) {
    return reinterpret_cast<H>(id);
}

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

// --- Files ---------------------------------------------------------------------

// ANSI file functions go through a MAX_PATH buffer: longer paths are refused.
DWORD CheckAnsiPath(LPCSTR path) {
    if (path == nullptr) return ERROR_INVALID_PARAMETER;
    if (std::strlen(path) >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    return ERROR_SUCCESS;
}

// Access to a file's data, as the generic and the specific rights give it.
bool ReadsData(DWORD access) { return (access & (GENERIC_READ | FILE_READ_DATA)) != 0; }
bool WritesData(DWORD access) { return (access & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0; }
// A handle with the right to append but not to write anywhere: every write
// goes to the end of the file.
bool AppendsOnly(DWORD access) {
    return (access & FILE_APPEND_DATA) != 0 && (access & (GENERIC_WRITE | FILE_WRITE_DATA)) == 0;
}

// Whether a new open of the file with this access and sharing collides with
// the handles already open on it.
bool SharingConflict(const Impl& m, const std::string& key, DWORD access, DWORD share) {
    for (const auto& entry : m.files) {
        const Impl::OpenFile& open = entry.second;
        if (open.key != key) continue;
        if ((ReadsData(access) && !(open.share & FILE_SHARE_READ)) ||
            (WritesData(access) && !(open.share & FILE_SHARE_WRITE)) ||
            (ReadsData(open.access) && !(share & FILE_SHARE_READ)) ||
            (WritesData(open.access) && !(share & FILE_SHARE_WRITE))) {
            return true;
        }
    }
    return false;
}

WIN32_FIND_DATAA FindData(const std::string& name, bool isDir, std::uintmax_t size) {
    WIN32_FIND_DATAA data;
    std::memset(&data, 0, sizeof data);
    data.dwFileAttributes = isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    std::strncpy(data.cFileName, name.c_str(), MAX_PATH - 1);
    return data;
}

// --- Time ------------------------------------------------------------------------

// The local time `elapsedMs` after `start`, the calendar worked out by the
// C library on a zone-free (UTC) time line.
SYSTEMTIME LocalTimeAfter(const SYSTEMTIME& start, std::uint64_t elapsedMs) {
    std::tm startTm{};
    startTm.tm_year = start.wYear - 1900;
    startTm.tm_mon = start.wMonth - 1;
    startTm.tm_mday = start.wDay;
    startTm.tm_hour = start.wHour;
    startTm.tm_min = start.wMinute;
    startTm.tm_sec = start.wSecond;
    const std::uint64_t ms = start.wMilliseconds + elapsedMs;
    const std::time_t seconds = timegm(&startTm) + static_cast<std::time_t>(ms / 1000);
    std::tm now{};
    gmtime_r(&seconds, &now);
    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(now.tm_year + 1900);
    time.wMonth = static_cast<WORD>(now.tm_mon + 1);
    time.wDayOfWeek = static_cast<WORD>(now.tm_wday);
    time.wDay = static_cast<WORD>(now.tm_mday);
    time.wHour = static_cast<WORD>(now.tm_hour);
    time.wMinute = static_cast<WORD>(now.tm_min);
    time.wSecond = static_cast<WORD>(now.tm_sec);
    time.wMilliseconds = static_cast<WORD>(ms % 1000);
    return time;
}

// A path handed out as the path functions do: its length when it fits with
// its NUL, else the size needed (with the NUL), leaving the buffer alone.
DWORD CopyPathOut(const std::string& path, LPSTR buffer, DWORD size) {
    const DWORD length = static_cast<DWORD>(path.size());
    if (buffer == nullptr || size <= length) return length + 1;
    std::memcpy(buffer, path.c_str(), length + 1);
    return length;
}

constexpr char kWindowsDir[] = "C:\\WINDOWS";
constexpr DWORD kWindowsDirLength = sizeof kWindowsDir - 1;
// What an unset stack buffer holds in a Windows debug build.
constexpr unsigned char kUnsetFill = 0xCC;

}  // namespace

namespace plat {

// --- Device setup ----------------------------------------------------------------

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, PCSTR enumerator, HWND, DWORD flags) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("SetupDiGetClassDevsA")) return FailHandle(*fault);
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
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("SetupDiEnumDeviceInfo")) return Fail(*fault);
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
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("SetupDiGetDeviceRegistryPropertyA")) return Fail(*fault);
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
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("SetupDiSetDeviceRegistryPropertyA")) return Fail(*fault);
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
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("SetupDiGetDeviceInstanceIdA")) return Fail(*fault);
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
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("SetupDiRemoveDevice")) return Fail(*fault);
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
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("SetupDiGetDeviceInstallParamsA")) return Fail(*fault);
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
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("SetupDiDestroyDeviceInfoList")) return Fail(*fault);
    if (m.sets.erase(Id(set)) == 0) return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

// A package leaves the store only with its published INF: when that cannot be
// deleted nothing changes. Its PNF goes too when it can.
BOOL SetupUninstallOEMInfA(PCSTR infFileName, DWORD flags, PVOID) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("SetupUninstallOEMInfA")) return Fail(*fault);
    if (infFileName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (flags & ~SUOI_FORCEDELETE) return Fail(ERROR_INVALID_FLAGS);
    const std::string name = infFileName;
    const std::string inf = std::string(kWindowsDir) + "\\INF\\" + name;
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
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    m.driverUpdates.push_back(
        {hardwareId ? hardwareId : "", infPath ? infPath : "", installFlags, rebootRequired != nullptr});
    if (auto fault = m.EnterLocked("UpdateDriverForPlugAndPlayDevicesA")) return Fail(*fault);
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
        matched = true;
    }
    if (!matched) return Fail(ERROR_NO_SUCH_DEVINST);
    if (rebootRequired != nullptr) *rebootRequired = sim::TheMachine().driverUpdateNeedsRestart.load() ? TRUE : FALSE;
    return TRUE;
}

// --- Registry ------------------------------------------------------------------------

LONG RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (result != nullptr) *result = nullptr;
    if (auto fault = m.EnterLocked("RegOpenKeyExA")) return static_cast<LONG>(*fault);
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    std::vector<std::string> path;
    if (parent != HKEY_LOCAL_MACHINE) {
        const auto open = m.openKeys.find(Id(parent));
        if (open == m.openKeys.end()) return ERROR_INVALID_HANDLE;
        path = open->second;
        if (m.FindKeyLocked(path) == nullptr) return ERROR_KEY_DELETED;
    }
    for (std::string& part : sim::SplitKeyPath(subKey ? subKey : "")) path.push_back(std::move(part));
    if (m.FindKeyLocked(path) == nullptr) return ERROR_FILE_NOT_FOUND;
    if (m.deniedKeys.count(sim::JoinUpper(path)) != 0) return ERROR_ACCESS_DENIED;
    const std::uintptr_t handle = m.NewHandleLocked();
    m.openKeys.emplace(handle, std::move(path));
    *result = MakeHandle<HKEY>(handle);
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("RegSetValueExA")) return static_cast<LONG>(*fault);
    Impl::Key* target = nullptr;
    if (key == HKEY_LOCAL_MACHINE) {
        target = &m.hklm;
    } else {
        const auto open = m.openKeys.find(Id(key));
        if (open == m.openKeys.end()) return ERROR_INVALID_HANDLE;
        target = m.FindKeyLocked(open->second);
        if (target == nullptr) return ERROR_KEY_DELETED;
    }
    if (data == nullptr && size != 0) return ERROR_NOACCESS;
    m.regWrites.push_back({valueName ? valueName : "", type, size});
    // A string whose count leaves out its terminating NUL is stored with it:
    // Windows looks at the byte after the count and takes it in when it is 0.
    const bool isString = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (isString && size != 0 && data[size - 1] != 0 && data[size] == 0) ++size;
    sim::Value& value = target->values[valueName ? valueName : ""];
    value.type = type;
    value.bytes.assign(reinterpret_cast<const char*>(data), size);
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("RegCloseKey")) return static_cast<LONG>(*fault);
    if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
    return m.openKeys.erase(Id(key)) != 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// --- Errors, files and folders ---------------------------------------------------

void SetLastError(DWORD error) { t_lastError = error; }

UINT SetErrorMode(UINT mode) {
    Machine& machine = sim::TheMachine();
    {
        std::lock_guard<std::mutex> lock(machine.impl().mu);
        ++machine.impl().calls["SetErrorMode"];
    }
    return machine.errorMode.exchange(mode);
}

DWORD GetLastError() {
    Impl& m = sim::TheMachine().impl();
    {
        std::lock_guard<std::mutex> lock(m.mu);
        ++m.calls["GetLastError"];
    }
    return t_lastError;
}

BOOL DeleteFileA(LPCSTR path) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("DeleteFileA")) return Fail(*fault);
    if (DWORD error = CheckAnsiPath(path)) return Fail(error);
    if (DWORD error = m.DeleteFileLocked(path)) return Fail(error);
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR path) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("GetFileAttributesA")) {
        SetLastError(*fault);
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD error = CheckAnsiPath(path);
    const Impl::Resolved file = error == ERROR_SUCCESS ? m.ResolveLocked(path) : Impl::Resolved{};
    if (error == ERROR_SUCCESS) error = file.error;
    if (error == ERROR_SUCCESS && !file.exists) error = ERROR_FILE_NOT_FOUND;
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    return file.isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
    Machine& machine = sim::TheMachine();
    if (machine.onCreateFile) machine.onCreateFile(path != nullptr ? path : "", disposition);
    Impl& m = machine.impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("CreateFileA")) return FailHandle(*fault);
    if (DWORD error = CheckAnsiPath(path)) return FailHandle(error);
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING ||
        (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE))) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    if (!m.fsRedirectionOff.empty()) m.openedWithoutRedirection.insert(path);
    const Impl::Resolved file = m.ResolveLocked(path);
    if (file.error != ERROR_SUCCESS) return FailHandle(file.error);
    // With FILE_FLAG_OPEN_REPARSE_POINT a link is opened as itself; otherwise
    // it is followed, and one that leads nowhere is a name without a file.
    const bool onLink =
        file.isLink && (flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0 && !machine.linksAlwaysFollowed;
    const bool openFolder = file.isDir && !onLink;
    if (openFolder && (!(flags & FILE_FLAG_BACKUP_SEMANTICS) || disposition == CREATE_ALWAYS ||
                       disposition == TRUNCATE_EXISTING)) {
        return FailHandle(ERROR_ACCESS_DENIED);
    }
    const bool fileThere = file.exists && (onLink || !file.leadsNowhere);
    if (!fileThere && (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING)) {
        return FailHandle(ERROR_FILE_NOT_FOUND);
    }
    if (file.exists && disposition == CREATE_NEW) return FailHandle(ERROR_FILE_EXISTS);

    // A link that leads nowhere is followed to create its target.
    const bool creates = !fileThere;
    const bool truncates =
        fileThere && !openFolder && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING);
    if ((WritesData(access) || creates || truncates) && m.unwritable.count(file.key) != 0) {
        return FailHandle(ERROR_ACCESS_DENIED);
    }
    if (ReadsData(access) && m.unreadable.count(file.key) != 0) {
        return FailHandle(ERROR_SHARING_VIOLATION);
    }
    if (SharingConflict(m, file.key, access, share)) return FailHandle(ERROR_SHARING_VIOLATION);

    if (creates || truncates) {
        std::FILE* created = std::fopen(file.host.c_str(), "wb");
        if (created == nullptr) return FailHandle(ERROR_ACCESS_DENIED);
        std::fclose(created);
    }
    Impl::OpenFile open;
    open.key = file.key;
    std::error_code ec;
    open.host = onLink ? fs::weakly_canonical(file.host.parent_path(), ec) / file.host.filename()
                       : fs::weakly_canonical(file.host, ec);
    open.isDir = openFolder;
    open.onLink = onLink;
    open.access = access;
    open.share = share;
    if (ReadsData(access) && !openFolder && !onLink) {
        open.stream.reset(std::fopen(file.host.c_str(), "rb"));
        if (!open.stream) return FailHandle(ERROR_ACCESS_DENIED);
    }
    const std::uintptr_t handle = m.NewHandleLocked();
    m.files.emplace(handle, std::move(open));
    // Windows tells an overwritten or reopened file from a new one this way.
    const bool mayCreate = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    if (mayCreate) SetLastError(file.exists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return MakeHandle<HANDLE>(handle);
}

namespace {

// What ReadFile and WriteFile first do alike: the count is zeroed, the call
// counted, and the open file behind `file` returned; nullptr, with the last
// error set, when the call is to fail before any transfer.
Impl::OpenFile* TransferTargetLocked(Impl& m, const char* operation, HANDLE file, const void* buffer,
                                     DWORD size, LPDWORD count, LPOVERLAPPED overlapped) {
    if (count != nullptr) *count = 0;
    DWORD error = ERROR_SUCCESS;
    const auto found = m.files.find(Id(file));
    if (auto fault = m.EnterLocked(operation)) {
        error = *fault;
    } else if (found == m.files.end()) {
        error = ERROR_INVALID_HANDLE;
    } else if (overlapped != nullptr || count == nullptr) {
        error = ERROR_INVALID_PARAMETER;
    } else if (buffer == nullptr && size != 0) {
        error = ERROR_NOACCESS;
    }
    if (error == ERROR_SUCCESS) return &found->second;
    SetLastError(error);
    return nullptr;
}

}  // namespace

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    Impl::OpenFile* open = TransferTargetLocked(m, "ReadFile", file, buffer, toRead, read, overlapped);
    if (open == nullptr) return FALSE;
    if (!open->stream) return Fail(ERROR_ACCESS_DENIED);
    *read = static_cast<DWORD>(std::fread(buffer, 1, toRead, open->stream.get()));
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    Impl::OpenFile* target = TransferTargetLocked(m, "WriteFile", file, buffer, toWrite, written, overlapped);
    if (target == nullptr) return FALSE;
    Impl::OpenFile& open = *target;
    if (!WritesData(open.access) || open.isDir || open.onLink) return Fail(ERROR_ACCESS_DENIED);
    // Straight to the host file, so that a reader sees each write at once.
    std::unique_ptr<std::FILE, Impl::FileCloser> host(std::fopen(open.host.c_str(), "r+b"));
    if (!host) return Fail(ERROR_ACCESS_DENIED);
    const bool seeked = AppendsOnly(open.access)
                            ? std::fseek(host.get(), 0, SEEK_END) == 0
                            : std::fseek(host.get(), static_cast<long>(open.writePosition), SEEK_SET) == 0;
    if (!seeked) return Fail(ERROR_ACCESS_DENIED);
    const std::size_t put = std::fwrite(buffer, 1, toWrite, host.get());
    open.writePosition = static_cast<std::uint64_t>(std::ftell(host.get()));
    if (std::fflush(host.get()) != 0 || put != toWrite) return Fail(ERROR_DISK_FULL);
    *written = static_cast<DWORD>(put);
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("FlushFileBuffers")) return Fail(*fault);
    const auto found = m.files.find(Id(file));
    if (found == m.files.end()) return Fail(ERROR_INVALID_HANDLE);
    if (!WritesData(found->second.access)) return Fail(ERROR_ACCESS_DENIED);
    return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("GetFileInformationByHandle")) return Fail(*fault);
    const auto found = m.files.find(Id(file));
    if (found == m.files.end()) return Fail(ERROR_INVALID_HANDLE);
    if (information == nullptr) return Fail(ERROR_NOACCESS);
    const Impl::OpenFile& open = found->second;
    struct stat entry {};
    if (::lstat(open.host.c_str(), &entry) != 0) return Fail(ERROR_FILE_NOT_FOUND);
    std::error_code ec;
    std::memset(information, 0, sizeof *information);
    if (open.onLink) {
        information->dwFileAttributes =
            FILE_ATTRIBUTE_REPARSE_POINT | (fs::is_directory(open.host, ec) ? FILE_ATTRIBUTE_DIRECTORY : 0);
    } else {
        information->dwFileAttributes = open.isDir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    }
    // A folder has one name, as on NTFS (a Unix folder counts its subfolders' links too).
    information->nNumberOfLinks = open.isDir || open.onLink ? 1 : static_cast<DWORD>(entry.st_nlink);
    information->dwVolumeSerialNumber = 0x5A4E0001;
    information->nFileIndexHigh = static_cast<DWORD>(static_cast<std::uint64_t>(entry.st_ino) >> 32);
    information->nFileIndexLow = static_cast<DWORD>(entry.st_ino & 0xFFFFFFFFu);
    if (!open.isDir && !open.onLink) {
        information->nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(entry.st_size) >> 32);
        information->nFileSizeLow = static_cast<DWORD>(entry.st_size & 0xFFFFFFFF);
    }
    return TRUE;
}

DWORD GetFinalPathNameByHandleA(HANDLE file, LPSTR path, DWORD size, DWORD flags) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("GetFinalPathNameByHandleA")) return Fail(*fault);
    const auto found = m.files.find(Id(file));
    if (found == m.files.end()) return Fail(ERROR_INVALID_HANDLE);
    if (flags != (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)) return Fail(ERROR_INVALID_PARAMETER);
    return CopyPathOut("\\\\?\\" + m.WindowsPathOfHostLocked(found->second.host), path, size);
}

BOOL SetFileInformationByHandle(HANDLE file, FILE_INFO_BY_HANDLE_CLASS infoClass, LPVOID information,
                                DWORD size) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("SetFileInformationByHandle")) return Fail(*fault);
    const auto found = m.files.find(Id(file));
    if (found == m.files.end()) return Fail(ERROR_INVALID_HANDLE);
    // Only the deletion on close is simulated.
    if (infoClass != FileDispositionInfo || information == nullptr || size < sizeof(FILE_DISPOSITION_INFO)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (!(found->second.access & DELETE)) return Fail(ERROR_ACCESS_DENIED);
    found->second.deleteOnClose = static_cast<const FILE_DISPOSITION_INFO*>(information)->DeleteFile != FALSE;
    return TRUE;
}

// The current folder is the root of drive C:, as ParseWinPath takes a relative path.
DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* filePart) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("GetFullPathNameA")) return Fail(*fault);
    if (path == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const sim::WinPath parsed = sim::ParseWinPath(path);
    if (parsed.error != ERROR_SUCCESS) return Fail(parsed.error);
    std::string full = "C:";
    for (const std::string& part : parsed.parts) full += "\\" + part;
    if (parsed.parts.empty()) full += "\\";
    const DWORD length = CopyPathOut(full, buffer, size);
    if (filePart != nullptr) *filePart = length < size && !parsed.parts.empty() ? buffer + full.rfind('\\') + 1 : nullptr;
    return length;
}

DWORD GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD size) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("GetLongPathNameA")) return Fail(*fault);
    if (DWORD error = CheckAnsiPath(shortPath)) return Fail(error);
    const Impl::Resolved entry = m.ResolveLocked(shortPath);
    if (entry.error != ERROR_SUCCESS) return Fail(entry.error);
    if (!entry.exists) return Fail(ERROR_FILE_NOT_FOUND);
    // The names as the folders hold them; links on the way are named, not followed.
    std::string path = "C:";
    for (const fs::path& part : entry.host.lexically_relative(m.root)) {
        if (part != ".") path += "\\" + part.string();
    }
    if (path == "C:") path += "\\";
    return CopyPathOut(path, longPath, size);
}

BOOL CloseHandle(HANDLE handle) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("CloseHandle")) return Fail(*fault);
    const auto file = m.files.find(Id(handle));
    if (file != m.files.end()) {
        const bool remove = file->second.deleteOnClose;
        const fs::path host = file->second.host;
        m.files.erase(file);  // closes its stream first
        std::error_code ec;
        if (remove) fs::remove(host, ec);
        return TRUE;
    }
    if (m.processHandles.erase(Id(handle)) != 0) return TRUE;
    const auto mutex = m.mutexHandles.find(Id(handle));
    if (mutex == m.mutexHandles.end()) return Fail(ERROR_INVALID_HANDLE);
    // Ownership stays with its thread; the object goes with its last handle.
    const std::string name = mutex->second;
    m.mutexHandles.erase(mutex);
    --m.mutexes[name].localHandles;
    m.DropMutexIfUnusedLocked(name);
    return TRUE;
}

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("FindFirstFileA")) return FailHandle(*fault);
    if (DWORD error = CheckAnsiPath(pattern)) return FailHandle(error);
    if (data == nullptr) return FailHandle(ERROR_INVALID_PARAMETER);

    // "<folder>\<mask>": the folder resolves like any path, the mask is matched.
    const std::string text = pattern;
    const std::size_t cut = text.find_last_of("\\/");
    std::string folder, mask;
    if (cut != std::string::npos) {
        folder = text.substr(0, cut + 1);
        mask = text.substr(cut + 1);
    } else if (text.size() >= 2 && text[1] == ':') {
        folder = text.substr(0, 2);
        mask = text.substr(2);
    } else {
        folder = "\\";
        mask = text;
    }
    const sim::WinPath folderPath = sim::ParseWinPath(folder);
    const Impl::Resolved dir = m.ResolveLocked(folderPath);
    if (dir.error != ERROR_SUCCESS) return FailHandle(dir.error);
    if (!dir.exists || !dir.isDir) return FailHandle(ERROR_PATH_NOT_FOUND);
    if (mask.find_first_of("<>:\"|") != std::string::npos) return FailHandle(ERROR_INVALID_NAME);
    if (mask == "*.*") mask = "*";  // as Windows reads it: every name, with a dot or not

    std::vector<std::pair<std::string, std::filesystem::path>> entries;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir.host, ec), end; !ec && it != end; it.increment(ec)) {
        entries.emplace_back(it->path().filename().string(), it->path());
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return sim::NoCaseLess()(a.first, b.first); });

    Impl::Search search;
    if (!folderPath.parts.empty()) {
        // A folder below the root lists itself and its parent first.
        for (const char* self : {".", ".."}) {
            if (sim::WildcardMatch(mask, self)) search.found.push_back(FindData(self, true, 0));
        }
    }
    for (const auto& entry : entries) {
        if (mask.empty() || !sim::WildcardMatch(mask, entry.first)) continue;
        const bool isDir = std::filesystem::is_directory(entry.second, ec);
        const std::uintmax_t size = isDir ? 0 : std::filesystem::file_size(entry.second, ec);
        search.found.push_back(FindData(entry.first, isDir, ec ? 0 : size));
    }
    if (search.found.empty()) return FailHandle(ERROR_FILE_NOT_FOUND);
    *data = search.found.front();
    const std::uintptr_t handle = m.NewHandleLocked();
    m.searches.emplace(handle, std::move(search));
    return MakeHandle<HANDLE>(handle);
}

BOOL FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("FindNextFileA")) return Fail(*fault);
    const auto search = m.searches.find(Id(find));
    if (search == m.searches.end()) return Fail(ERROR_INVALID_HANDLE);
    if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    Impl::Search& s = search->second;
    if (s.next >= s.found.size()) return Fail(ERROR_NO_MORE_FILES);
    *data = s.found[s.next++];
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("FindClose")) return Fail(*fault);
    if (m.searches.erase(Id(find)) == 0) return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("GetWindowsDirectoryA")) {
        SetLastError(*fault);
        return 0;
    }
    if (buffer == nullptr || size <= kWindowsDirLength) return kWindowsDirLength + 1;
    std::memcpy(buffer, kWindowsDir, kWindowsDirLength + 1);
    return kWindowsDirLength;
}

HRESULT SHGetFolderPathA(HWND, int folder, HANDLE, DWORD, LPSTR path) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("SHGetFolderPathA")) {
        // The buffer is left without a path or a terminator: a caller that
        // uses it anyway reads junk, and past its end.
        if (path != nullptr) std::memset(path, kUnsetFill, MAX_PATH);
        SetLastError(*fault);
        return E_FAIL;
    }
    if (path == nullptr) return E_INVALIDARG;
    if ((folder & ~CSIDL_FLAG_MASK) != CSIDL_WINDOWS) return E_INVALIDARG;  // not simulated
    std::memcpy(path, kWindowsDir, kWindowsDirLength + 1);
    return S_OK;
}

// --- Named mutexes ---------------------------------------------------------------------

namespace {

// Marks the mutexes a thread owns as abandoned when the thread ends.
struct MutexOwnerGuard {
    ~MutexOwnerGuard() {
        Impl& m = sim::TheMachine().impl();
        std::lock_guard<std::mutex> lock(m.mu);
        m.AbandonMutexesOfLocked(std::this_thread::get_id());
    }
};

void TakeMutexLocked(Impl::NamedMutex& mutex) {
    thread_local MutexOwnerGuard guard;
    (void)guard;
    mutex.owner = std::this_thread::get_id();
    mutex.recursion = 1;
    mutex.abandoned = false;
}

DWORD WaitForMutexLocked(Impl::NamedMutex& mutex) {
    if (mutex.recursion > 0 && mutex.owner == std::this_thread::get_id()) {
        ++mutex.recursion;
        return WAIT_OBJECT_0;
    }
    if (mutex.heldElsewhere || mutex.recursion > 0) return WAIT_TIMEOUT;
    const bool abandoned = mutex.abandoned;
    TakeMutexLocked(mutex);
    return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

}  // namespace

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("CreateMutexA")) {
        SetLastError(*fault);
        return nullptr;
    }
    const std::string key = name != nullptr ? std::string(name) : "<unnamed " + std::to_string(++m.unnamedMutexes) + ">";
    const bool existed = m.mutexes.count(key) != 0;
    Impl::NamedMutex& mutex = m.mutexes[key];
    ++mutex.localHandles;
    // A mutex that exists already is opened as it is; the initial owner counts only for a new one.
    if (!existed && initialOwner) TakeMutexLocked(mutex);
    const std::uintptr_t handle = m.NewHandleLocked();
    m.mutexHandles.emplace(handle, key);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return MakeHandle<HANDLE>(handle);
}

BOOL ReleaseMutex(HANDLE handle) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("ReleaseMutex")) return Fail(*fault);
    const auto found = m.mutexHandles.find(Id(handle));
    if (found == m.mutexHandles.end()) return Fail(ERROR_INVALID_HANDLE);
    Impl::NamedMutex& mutex = m.mutexes[found->second];
    if (mutex.recursion == 0 || mutex.owner != std::this_thread::get_id()) return Fail(ERROR_NOT_OWNER);
    if (--mutex.recursion == 0) mutex.owner = std::thread::id();
    return TRUE;
}

// --- The process and the programs it starts ------------------------------------------

// The pseudo-handle Windows gives for the current process.
HANDLE GetCurrentProcess() { return MakeHandle<HANDLE>(static_cast<std::uintptr_t>(-1)); }

BOOL IsWow64Process(HANDLE process, PBOOL wow64) {
    Machine& machine = sim::TheMachine();
    Impl& m = machine.impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("IsWow64Process")) return Fail(*fault);
    if (process != GetCurrentProcess()) return Fail(ERROR_INVALID_HANDLE);  // no other process is simulated
    if (wow64 == nullptr) return Fail(ERROR_NOACCESS);
    *wow64 = machine.wow64 ? TRUE : FALSE;
    return TRUE;
}

// Only a 32-bit process on 64-bit Windows has redirection to turn off; the
// value handed back is what the revert must be given.
BOOL Wow64DisableWow64FsRedirection(PVOID* oldValue) {
    Machine& machine = sim::TheMachine();
    Impl& m = machine.impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("Wow64DisableWow64FsRedirection")) return Fail(*fault);
    if (!machine.wow64) return Fail(ERROR_INVALID_FUNCTION);
    if (oldValue == nullptr) return Fail(ERROR_NOACCESS);
    const auto token = reinterpret_cast<PVOID>(m.NewHandleLocked());
    m.fsRedirectionOff[std::this_thread::get_id()] = token;
    *oldValue = token;
    return TRUE;
}

BOOL Wow64RevertWow64FsRedirection(PVOID oldValue) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("Wow64RevertWow64FsRedirection")) return Fail(*fault);
    const auto found = m.fsRedirectionOff.find(std::this_thread::get_id());
    if (found == m.fsRedirectionOff.end() || found->second != oldValue) return Fail(ERROR_INVALID_PARAMETER);
    m.fsRedirectionOff.erase(found);
    return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("GetModuleFileNameA")) {
        SetLastError(*fault);
        return 0;
    }
    if (module != nullptr) {  // only the program's own module is simulated
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (path == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    // A path that does not fit is cut short and terminated, and the whole
    // buffer's size returned.
    if (m.modulePath.size() >= size) {
        std::memcpy(path, m.modulePath.data(), size - 1);
        path[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(path, m.modulePath.c_str(), m.modulePath.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(m.modulePath.size());
}

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID, LPCSTR, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("CreateProcessA")) return Fail(*fault);
    m.processStarts.push_back({applicationName != nullptr ? applicationName : "",
                               commandLine != nullptr ? commandLine : "", inheritHandles, creationFlags});
    if (startupInfo == nullptr || startupInfo->cb != sizeof(STARTUPINFOA) || processInformation == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    // Only a program named by its path is simulated; Windows would search for one.
    if (applicationName == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    if (DWORD error = CheckAnsiPath(applicationName)) return Fail(error);
    const Impl::Resolved file = m.ResolveLocked(applicationName);
    if (file.error != ERROR_SUCCESS) return Fail(file.error);
    if (!file.exists) return Fail(ERROR_FILE_NOT_FOUND);
    if (file.isDir) return Fail(ERROR_ACCESS_DENIED);
    const auto program = m.programs.find(file.key);
    if (program == m.programs.end()) return Fail(ERROR_BAD_EXE_FORMAT);

    auto process = std::make_shared<Impl::Process>();
    process->commandLine = commandLine != nullptr ? commandLine : applicationName;
    process->run = program->second;
    const std::uintptr_t processHandle = m.NewHandleLocked();
    const std::uintptr_t threadHandle = m.NewHandleLocked();
    m.processHandles[processHandle] = {process, false};
    m.processHandles[threadHandle] = {process, true};
    processInformation->hProcess = MakeHandle<HANDLE>(processHandle);
    processInformation->hThread = MakeHandle<HANDLE>(threadHandle);
    processInformation->dwProcessId = static_cast<DWORD>(processHandle);
    processInformation->dwThreadId = static_cast<DWORD>(threadHandle);
    return TRUE;
}

// A wait for a mutex takes it when it is free (the tool waits only with a
// zero timeout); a started program runs to its end on the first wait for it.
DWORD WaitForSingleObject(HANDLE handle, DWORD) {
    Impl& m = sim::TheMachine().impl();
    std::shared_ptr<Impl::Process> process;
    {
        std::lock_guard<std::mutex> lock(m.mu);
        if (auto fault = m.EnterLocked("WaitForSingleObject")) {
            SetLastError(*fault);
            return WAIT_FAILED;
        }
        const auto mutex = m.mutexHandles.find(Id(handle));
        if (mutex != m.mutexHandles.end()) return WaitForMutexLocked(m.mutexes[mutex->second]);
        const auto found = m.processHandles.find(Id(handle));
        if (found == m.processHandles.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        process = found->second.process;
        if (process->ended) return WAIT_OBJECT_0;
    }
    const DWORD exitCode = process->run ? process->run(process->commandLine) : 0;
    std::lock_guard<std::mutex> lock(m.mu);
    process->ended = true;
    process->exitCode = exitCode;
    return WAIT_OBJECT_0;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("GetExitCodeProcess")) return Fail(*fault);
    const auto found = m.processHandles.find(Id(process));
    if (found == m.processHandles.end() || found->second.thread) return Fail(ERROR_INVALID_HANDLE);
    if (exitCode == nullptr) return Fail(ERROR_NOACCESS);
    *exitCode = found->second.process->ended ? found->second.process->exitCode : STILL_ACTIVE;
    return TRUE;
}

// --- User interaction, time and trace ---------------------------------------------

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    Machine& machine = sim::TheMachine();
    Impl& m = machine.impl();
    sim::MessageBoxCall call;
    std::function<void(const sim::MessageBoxCall&)> hook;
    {
        std::lock_guard<std::mutex> lock(m.mu);
        if (auto fault = m.EnterLocked("MessageBoxA")) {
            SetLastError(*fault);
            return 0;
        }
        call.text = text ? text : "";
        call.caption = caption ? caption : "Error";  // Windows' caption when none is given
        call.type = type;
        if (!m.answers.empty()) {
            call.answer = m.answers.front();
            m.answers.pop_front();
        } else {
            call.answer = (type & MB_TYPEMASK) == MB_OK ? IDOK : machine.defaultAnswer.load();
        }
        m.boxes.push_back(call);
        hook = machine.onMessageBox;
    }
    if (hook) hook(call);
    return call.answer;
}

void Sleep(DWORD milliseconds) {
    Machine& machine = sim::TheMachine();
    Impl& m = machine.impl();
    std::function<void(DWORD)> hook;
    {
        std::lock_guard<std::mutex> lock(m.mu);
        ++m.calls["Sleep"];
        m.nowMs += milliseconds;
        m.sleeps.push_back(milliseconds);
        hook = machine.onSleep;
    }
    if (hook) hook(milliseconds);
}

void GetLocalTime(LPSYSTEMTIME time) {
    Impl& m = sim::TheMachine().impl();
    std::uint64_t nowMs = 0;
    {
        std::lock_guard<std::mutex> lock(m.mu);
        ++m.calls["GetLocalTime"];
        nowMs = m.nowMs;
    }
    if (time != nullptr) *time = LocalTimeAfter(Machine::kLocalTimeAtReset, nowMs);
}

DWORD GetCurrentProcessId() {
    Machine& machine = sim::TheMachine();
    {
        std::lock_guard<std::mutex> lock(machine.impl().mu);
        ++machine.impl().calls["GetCurrentProcessId"];
    }
    return machine.processId.load();
}

void OutputDebugStringA(LPCSTR text) {
    Impl& m = sim::TheMachine().impl();
    {
        std::lock_guard<std::mutex> lock(m.mu);
        ++m.calls["OutputDebugStringA"];
        if (text == nullptr) return;
        m.trace.emplace_back(text);
    }
    if (std::getenv("ZAN_SIM_TRACE") != nullptr) {
        // A debugger shows each message on a line of its own.
        const std::size_t length = std::strlen(text);
        std::fprintf(stderr, "%s%s", text, (length > 0 && text[length - 1] == '\n') ? "" : "\n");
    }
}

// --- Windows and synthetic input -----------------------------------------------------

int GetWindowTextA(HWND window, LPSTR text, int size) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("GetWindowTextA")) {
        SetLastError(*fault);
        if (text != nullptr && size > 0) text[0] = '\0';
        return 0;
    }
    const auto it = std::find_if(m.windows.begin(), m.windows.end(),
                                 [&](const Impl::Window& w) { return w.hwnd == window; });
    if (it == m.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        if (text != nullptr && size > 0) text[0] = '\0';
        return 0;
    }
    if (text == nullptr || size <= 0) return 0;
    const std::size_t copied = std::min(it->title.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(text, it->title.data(), copied);
    text[copied] = '\0';
    return static_cast<int>(copied);
}

HWND FindWindowExA(HWND parent, HWND childAfter, LPCSTR className, LPCSTR windowName) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("FindWindowExA")) {
        SetLastError(*fault);
        return nullptr;
    }
    if (parent != nullptr) return nullptr;  // simulated windows have no children
    auto it = m.windows.rbegin();           // from the top of the Z order down
    if (childAfter != nullptr) {
        it = std::find_if(m.windows.rbegin(), m.windows.rend(),
                          [&](const Impl::Window& w) { return w.hwnd == childAfter; });
        if (it == m.windows.rend()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        ++it;
    }
    for (; it != m.windows.rend(); ++it) {
        if ((windowName == nullptr || sim::EqualNoCase(it->title, windowName)) &&
            (className == nullptr || sim::EqualNoCase(it->className, className))) {
            return it->hwnd;
        }
    }
    return nullptr;
}

BOOL SetForegroundWindow(HWND window) {
    Machine& machine = sim::TheMachine();
    Impl& m = machine.impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("SetForegroundWindow")) return Fail(*fault);
    if (!m.IsWindowLocked(window)) return Fail(ERROR_INVALID_WINDOW_HANDLE);
    if (!machine.foregroundLocked) m.foreground = window;
    return TRUE;
}

HWND GetForegroundWindow() {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("GetForegroundWindow")) {
        SetLastError(*fault);
        return nullptr;
    }
    return m.foreground;
}

UINT SendInput(UINT count, LPINPUT inputs, int size) {
    Impl& m = sim::TheMachine().impl();
    std::lock_guard<std::mutex> lock(m.mu);
    if (auto fault = m.EnterLocked("SendInput")) {
        SetLastError(*fault);
        return 0;
    }
    if (size != static_cast<int>(sizeof(INPUT))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (inputs == nullptr && count != 0) {
        SetLastError(ERROR_NOACCESS);
        return 0;
    }
    for (UINT i = 0; i < count; ++i) {
        if (inputs[i].type != INPUT_KEYBOARD) continue;
        const KEYBDINPUT& key = inputs[i].ki;
        m.inputs.push_back({m.foreground, key.wVk, key.wScan, key.dwFlags, key.time, key.dwExtraInfo});
    }
    return count;
}

}  // namespace plat
