// The simulated machine's registry below HKEY_LOCAL_MACHINE.
#include "sim/calls.h"


using namespace sim;

namespace plat {

// --- Registry ------------------------------------------------------------------------

LONG RegOpenKeyExA(HKEY parent, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    Call call("RegOpenKeyExA");
    Impl& m = call.m;
    if (result != nullptr) *result = nullptr;
    if (auto fault = call.fault) return static_cast<LONG>(*fault);
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
    Call call("RegSetValueExA");
    Impl& m = call.m;
    if (auto fault = call.fault) return static_cast<LONG>(*fault);
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

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    Call call("RegQueryValueExA");
    Impl& m = call.m;
    if (auto fault = call.fault) return static_cast<LONG>(*fault);
    if (reserved != nullptr || (data != nullptr && size == nullptr)) return ERROR_INVALID_PARAMETER;
    const Impl::Key* target = &m.hklm;
    if (key != HKEY_LOCAL_MACHINE) {
        const auto open = m.openKeys.find(Id(key));
        if (open == m.openKeys.end()) return ERROR_INVALID_HANDLE;
        target = m.FindKeyLocked(open->second);
        if (target == nullptr) return ERROR_KEY_DELETED;
    }
    const auto value = target->values.find(valueName ? valueName : "");
    if (value == target->values.end()) return ERROR_FILE_NOT_FOUND;
    if (type != nullptr) *type = value->second.type;
    const std::string& bytes = value->second.bytes;
    const DWORD needed = static_cast<DWORD>(bytes.size());
    if (data != nullptr && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr) std::memcpy(data, bytes.data(), needed);
    if (size != nullptr) *size = needed;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    Call call("RegCloseKey");
    Impl& m = call.m;
    if (auto fault = call.fault) return static_cast<LONG>(*fault);
    if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
    return m.openKeys.erase(Id(key)) != 0 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace plat
