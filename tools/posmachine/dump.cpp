// dump: the machine's state as stable, sorted text. Devices are identified by
// description and hardware IDs (instance IDs are generated), values are shown
// with their type and every stored byte, so that text past a NUL shows.
#include "posmachine.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace pm {

namespace {

struct DeviceState {
    std::string description;
    std::vector<std::string> hardwareIds;
    std::string instanceId;
    std::vector<std::string> lines;  // everything else, already formatted
};

// A device registry property as stored: its type and raw bytes (UTF-16 for strings).
bool ReadProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, DWORD& type, std::string& bytes) {
    DWORD size = 0;
    type = 0;
    SetupDiGetDeviceRegistryPropertyW(set, data, property, &type, nullptr, 0, &size);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
    bytes.assign(size, '\0');
    return SetupDiGetDeviceRegistryPropertyW(set, data, property, &type,
                                             reinterpret_cast<BYTE*>(&bytes[0]), size, &size) != FALSE;
}

std::wstring WideOf(const std::string& bytes) {
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

// A string value's text up to its first NUL.
std::string TextOf(const std::string& bytes) {
    std::wstring w = WideOf(bytes);
    return Narrow(w.substr(0, w.find(L'\0')));
}

std::vector<std::string> MultiOf(const std::string& bytes) {
    std::vector<std::string> out;
    std::wstring w = WideOf(bytes);
    for (size_t pos = 0; pos < w.size();) {
        size_t end = w.find(L'\0', pos);
        if (end == std::wstring::npos) end = w.size();
        if (end == pos) break;
        out.push_back(Narrow(w.substr(pos, end - pos)));
        pos = end + 1;
    }
    return out;
}

const char* TypeName(DWORD type) {
    switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    default: return "REG_TYPE_OTHER";
    }
}

// "<type> <n> bytes \"...\"" for a value stored as UTF-16 text, else the raw bytes.
std::string ValueText(DWORD type, const std::string& bytes) {
    std::string out = TypeName(type);
    out += " " + std::to_string(bytes.size()) + " bytes ";
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)
        out += "\"" + EscapeWide(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2) + "\"";
    else
        out += "\"" + EscapeBytes(bytes.data(), bytes.size()) + "\"";
    return out;
}

bool QueryValue(HKEY key, const wchar_t* name, DWORD& type, std::string& bytes) {
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    bytes.assign(size, '\0');
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&bytes[0]), &size) ==
           ERROR_SUCCESS;
}

bool Interesting(const std::string& description, const std::vector<std::string>& ids) {
    if (description.find("ZAN") != std::string::npos || description.rfind("Serial Port ", 0) == 0)
        return true;
    for (const auto& id : ids)
        if (id.find("1D9E") != std::string::npos || id.rfind("ZANDECOY\\", 0) == 0) return true;
    return false;
}

std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA* data) {
    char id[512] = "";
    SetupDiGetDeviceInstanceIdA(set, data, id, sizeof(id), nullptr);
    return id;
}

// Instance IDs of the devices a set holds.
std::set<std::string> InstancesOf(HDEVINFO set) {
    std::set<std::string> ids;
    if (set == INVALID_HANDLE_VALUE) return ids;
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) ids.insert(InstanceId(set, &data));
    SetupDiDestroyDeviceInfoList(set);
    return ids;
}

void AddProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, const char* label,
                 std::vector<std::string>& lines, bool raw) {
    DWORD type;
    std::string bytes;
    if (!ReadProperty(set, data, property, type, bytes)) return;
    lines.push_back(std::string(label) + " " + (raw ? ValueText(type, bytes) : "\"" + TextOf(bytes) + "\""));
}

void DescribeDriver(HDEVINFO set, SP_DEVINFO_DATA* data, std::vector<std::string>& lines) {
    AddProperty(set, data, SPDRP_CLASS, "class", lines, false);
    AddProperty(set, data, SPDRP_DRIVER, "driver", lines, false);
    AddProperty(set, data, SPDRP_SERVICE, "service", lines, false);
    AddProperty(set, data, SPDRP_MFG, "mfg", lines, false);
    HKEY key = SetupDiOpenDevRegKey(set, data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return;
    for (const wchar_t* name : {L"InfPath", L"InfSection", L"MatchingDeviceId", L"DriverDesc"}) {
        DWORD type;
        std::string bytes;
        if (QueryValue(key, name, type, bytes))
            lines.push_back("driver." + Narrow(name) + " \"" + TextOf(bytes) + "\"");
    }
    RegCloseKey(key);
}

void DescribePort(const std::string& instanceId, std::vector<std::string>& lines) {
    std::string path = "SYSTEM\\CurrentControlSet\\Enum\\" + instanceId + "\\Device Parameters";
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        lines.push_back("device-parameters absent");
        return;
    }
    DWORD type;
    std::string bytes;
    lines.push_back("port-name " + (QueryValue(key, L"PortName", type, bytes) ? ValueText(type, bytes) : "absent"));
    RegCloseKey(key);
}

std::vector<DeviceState> Devices() {
    std::set<std::string> present =
        InstancesOf(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
    std::set<std::string> portInterface =
        InstancesOf(SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));

    std::vector<DeviceState> devices;
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return devices;
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof(data);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        DeviceState d;
        DWORD type;
        std::string bytes;
        if (ReadProperty(set, &data, SPDRP_DEVICEDESC, type, bytes)) d.description = TextOf(bytes);
        if (ReadProperty(set, &data, SPDRP_HARDWAREID, type, bytes)) d.hardwareIds = MultiOf(bytes);
        if (!Interesting(d.description, d.hardwareIds)) continue;
        d.instanceId = InstanceId(set, &data);
        d.lines.push_back(std::string("present ") + (present.count(d.instanceId) ? "yes" : "no"));
        if (portInterface.count(d.instanceId)) d.lines.push_back("ports-interface present");
        d.lines.push_back("setup-class " + GuidText(data.ClassGuid));
        AddProperty(set, &data, SPDRP_FRIENDLYNAME, "friendly-name", d.lines, true);
        DescribeDriver(set, &data, d.lines);
        if (IsEqualGUID(data.ClassGuid, kPortsClass) || d.description.rfind("Serial Port ", 0) == 0)
            DescribePort(d.instanceId, d.lines);
        devices.push_back(d);
    }
    SetupDiDestroyDeviceInfoList(set);
    std::sort(devices.begin(), devices.end(), [](const DeviceState& a, const DeviceState& b) {
        if (a.description != b.description) return a.description < b.description;
        if (a.hardwareIds != b.hardwareIds) return a.hardwareIds < b.hardwareIds;
        return a.instanceId < b.instanceId;
    });
    return devices;
}

std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

// Files below dir (a path inside the INF folder, "" for the folder itself)
// whose lower-cased name passes keep; subdirectories are walked when walk is true.
void ListFiles(const std::string& root, const std::string& dir, bool top,
               std::vector<std::pair<std::string, std::string>>& out) {
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((root + dir + "\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        std::string lower = Lower(name);
        std::string rel = dir.empty() ? name : dir.substr(1) + "\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!top || lower == "1port" || lower == "4port") {
                out.push_back({Lower(rel) + "\\", "inf\\" + rel + "\\"});
                ListFiles(root, dir + "\\" + name, false, out);
            }
            continue;
        }
        if (top && lower.rfind("zan", 0) != 0 && lower.rfind("oem", 0) != 0) continue;
        out.push_back({Lower(rel), "inf\\" + rel + " " + std::to_string(fd.nFileSizeLow) + " bytes"});
    } while (FindNextFileA(find, &fd));
    FindClose(find);
}

}  // namespace

int CmdDump(const std::vector<std::string>& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "usage: posmachine dump\n");
        return 2;
    }
    for (const auto& d : Devices()) {
        std::printf("device \"%s\"\n", d.description.c_str());
        for (const auto& id : d.hardwareIds) std::printf("  hardware-id \"%s\"\n", id.c_str());
        for (const auto& line : d.lines) std::printf("  %s\n", line.c_str());
        std::printf("  instance %s\n", d.instanceId.c_str());
    }
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, MAX_PATH);
    std::vector<std::pair<std::string, std::string>> files;
    ListFiles(std::string(windows) + "\\inf", "", true, files);
    std::sort(files.begin(), files.end());
    for (const auto& f : files) std::printf("file %s\n", f.second.c_str());
    for (const char* marker : {"RESULT.FAIL", "RESULT.SUCCESS"}) {
        DWORD attributes = GetFileAttributesA((std::string(windows) + "\\" + marker).c_str());
        std::printf("marker %s %s\n", marker, attributes == INVALID_FILE_ATTRIBUTES ? "absent" : "present");
    }
    return 0;
}

// find: the two enumerations the installer makes, as it makes them (ANSI,
// 100-byte property buffer), listing what each one sees.
int CmdFind(const std::vector<std::string>& args) {
    if (args.size() != 1 || (args[0] != "ports" && args[0] != "all")) {
        std::fprintf(stderr, "usage: posmachine find <ports|all>\n");
        return 2;
    }
    bool ports = args[0] == "ports";
    HDEVINFO set = ports ? SetupDiGetClassDevsA(&kComPortInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)
                         : SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA data;
    DWORD i = 0;
    for (;; ++i) {
        data.cbSize = sizeof(data);
        if (!SetupDiEnumDeviceInfo(set, i, &data)) break;
        char value[100];
        DWORD type = 0;
        if (!SetupDiGetDeviceRegistryPropertyA(set, &data, ports ? SPDRP_HARDWAREID : SPDRP_DEVICEDESC, &type,
                                               reinterpret_cast<BYTE*>(value), sizeof(value), nullptr))
            continue;
        std::string first = value;
        if (!ports && !Interesting(first, {})) continue;
        std::printf("%s %s \"%s\"\n", InstanceId(set, &data).c_str(), TypeName(type), first.c_str());
    }
    std::printf("end after %lu elements, last error %lu\n", i, GetLastError());
    SetupDiDestroyDeviceInfoList(set);
    return 0;
}

}  // namespace pm
