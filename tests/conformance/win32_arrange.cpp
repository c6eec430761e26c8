// The conformance suite against the real API: devices are created in the
// system's device database the way a device installer registers them, files
// go to a folder below the Windows directory. Meant for a throwaway Wine
// prefix (tests/e2e/test_conformance.sh); on Windows it needs an elevated
// prompt, and it leaves its devices behind.
#include "tests/conformance/arrange.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace conformance {
namespace {

std::string GuidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string MultiSz(const std::vector<std::string>& strings) {
    std::string bytes;
    for (const std::string& s : strings) bytes.append(s).push_back('\0');
    bytes.push_back('\0');
    return bytes;
}

bool Complain(const char* what, const std::string& subject) {
    std::printf("   arrange: %s failed for \"%s\" (error %08lX)\n", what, subject.c_str(),
                static_cast<unsigned long>(::GetLastError()));
    return false;
}

bool SetValue(const std::string& keyPath, const char* name, DWORD type, const std::string& bytes) {
    HKEY key;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                          nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG result = ::RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                         static_cast<DWORD>(bytes.size()));
    ::RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

// Marks the interface enabled, as the device's driver does when it starts
// (Control\Linked = 1 below the interface's reference-string key): sets of
// present interfaces list only enabled ones on Windows and on later Wine
// releases (Wine 8.0 lists the others too).
bool EnableInterface(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* iface) {
    char buffer[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + MAX_PATH];
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!::SetupDiGetDeviceInterfaceDetailA(set, iface, detail, sizeof buffer, nullptr, nullptr)) return false;
    // "\\?\root#name#0000#{guid}" is kept as "##?#root#name#0000#{guid}".
    std::string name = detail->DevicePath;
    if (name.size() < 4) return false;
    name.replace(0, 4, "##?#");
    const std::string path = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\" + GuidText(kComPortInterface) +
                             "\\" + name + "\\#\\Control";
    const DWORD linked = 1;
    return SetValue(path, "Linked", REG_DWORD, std::string(reinterpret_cast<const char*>(&linked), sizeof linked));
}

std::string WindowsDirectory() {
    char path[MAX_PATH];
    const UINT length = ::GetWindowsDirectoryA(path, MAX_PATH);
    return (length > 0 && length < MAX_PATH) ? std::string(path, length) : std::string();
}

class Win32Arrange : public Arrange {
public:
    Win32Arrange() {
        using WineVersion = const char*(__cdecl*)();
        if (HMODULE ntdll = ::GetModuleHandleA("ntdll.dll")) {
            auto version = reinterpret_cast<WineVersion>(
                reinterpret_cast<void*>(::GetProcAddress(ntdll, "wine_get_version")));
            if (version != nullptr) wine_ = version();
        }
    }

    std::string Describe() const override {
        return wine_.empty() ? "the Windows API (Windows)" : "the Windows API (Wine " + wine_ + ")";
    }

    std::string AddDevice(const NewDevice& wanted) override {
        HDEVINFO set = ::SetupDiCreateDeviceInfoList(&wanted.setupClass, nullptr);
        if (set == INVALID_HANDLE_VALUE) {
            Complain("SetupDiCreateDeviceInfoList", wanted.name);
            return "";
        }
        std::string id = Create(set, wanted);
        ::SetupDiDestroyDeviceInfoList(set);
        return id;
    }

    std::string ScratchFolder() override {
        const std::string windows = WindowsDirectory();
        if (windows.empty()) return "";
        char folder[MAX_PATH];
        std::snprintf(folder, sizeof folder, "%s\\Temp\\zan-conformance-%lu", windows.c_str(),
                      static_cast<unsigned long>(::GetCurrentProcessId()));
        ::CreateDirectoryA((windows + "\\Temp").c_str(), nullptr);
        return PutFolder(folder) ? folder : "";
    }

    bool PutFolder(const std::string& windowsPath) override {
        if (::CreateDirectoryA(windowsPath.c_str(), nullptr)) return true;
        return Complain("CreateDirectoryA", windowsPath);
    }

    bool PutFile(const std::string& windowsPath, const std::string& bytes) override {
        HANDLE file = ::CreateFileA(windowsPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return Complain("CreateFileA", windowsPath);
        DWORD written = 0;
        const BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(file);
        if (!ok || written != bytes.size()) return Complain("WriteFile", windowsPath);
        return true;
    }

    bool QueryValue(const std::string& keyPath, const std::string& name, DWORD* type,
                    std::string* bytes) override {
        HKEY key;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
            return false;
        }
        DWORD size = 0;
        LONG result = ::RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size);
        if (result == ERROR_SUCCESS) {
            // Room for the NUL the call adds to a string stored without one.
            std::string buffer(size + 2, '\0');
            DWORD got = size + 2;
            result = ::RegQueryValueExA(key, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(&buffer[0]), &got);
            if (result == ERROR_SUCCESS) *bytes = buffer.substr(0, got);
        }
        ::RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }

    // Wine's driver update returns TRUE when no device matches and when the
    // INF file is missing; Windows fails with ERROR_NO_SUCH_DEVINST and
    // ERROR_FILE_NOT_FOUND.
    bool DriverUpdateReportsMissingDeviceAndInf() const override { return wine_.empty(); }

private:
    std::string Create(HDEVINFO set, const NewDevice& wanted) {
        SP_DEVINFO_DATA data;
        std::memset(&data, 0, sizeof data);
        data.cbSize = sizeof data;
        const char* description = wanted.description.empty() ? nullptr : wanted.description.c_str();
        if (!::SetupDiCreateDeviceInfoA(set, wanted.name.c_str(), &wanted.setupClass, description, nullptr,
                                        DICD_GENERATE_ID, &data)) {
            Complain("SetupDiCreateDeviceInfoA", wanted.name);
            return "";
        }
        const std::string ids = MultiSz(wanted.hardwareIds);
        if (!wanted.hardwareIdAsSz &&
            !::SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID,
                                                 reinterpret_cast<const BYTE*>(ids.data()),
                                                 static_cast<DWORD>(ids.size()))) {
            Complain("setting SPDRP_HARDWAREID", wanted.name);
            return "";
        }
        if (description != nullptr &&
            !::SetupDiSetDeviceRegistryPropertyA(set, &data, SPDRP_DEVICEDESC,
                                                 reinterpret_cast<const BYTE*>(description),
                                                 static_cast<DWORD>(wanted.description.size() + 1))) {
            Complain("setting SPDRP_DEVICEDESC", wanted.name);
            return "";
        }
        if (!::SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &data)) {
            Complain("DIF_REGISTERDEVICE", wanted.name);
            return "";
        }
        char id[200];  // MAX_DEVICE_ID_LEN (cfgmgr32.h)
        if (!::SetupDiGetDeviceInstanceIdA(set, &data, id, sizeof id, nullptr)) {
            Complain("SetupDiGetDeviceInstanceIdA", wanted.name);
            return "";
        }
        if (wanted.hardwareIdAsSz) {
            // The setup API stores this property as REG_MULTI_SZ whatever it is
            // given; the single-string form goes straight into the device's key
            // (on Windows only the system may write there).
            const std::string one = wanted.hardwareIds.front() + std::string(1, '\0');
            if (!SetValue(std::string("SYSTEM\\CurrentControlSet\\Enum\\") + id, "HardwareID", REG_SZ, one)) {
                Complain("writing HardwareID as REG_SZ", wanted.name);
                return "";
            }
        }
        if (wanted.comPortInterface) {
            SP_DEVICE_INTERFACE_DATA iface;
            std::memset(&iface, 0, sizeof iface);
            iface.cbSize = sizeof iface;
            if (!::SetupDiCreateDeviceInterfaceA(set, &data, &kComPortInterface, nullptr, 0, &iface) ||
                !EnableInterface(set, &iface)) {
                Complain("creating the serial-port interface", wanted.name);
                return "";
            }
        }
        HKEY key = ::SetupDiCreateDevRegKeyA(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
        if (key == INVALID_HANDLE_VALUE) {
            Complain("SetupDiCreateDevRegKeyA", wanted.name);
            return "";
        }
        ::RegCloseKey(key);
        return id;
    }

    std::string wine_;
};

}  // namespace
}  // namespace conformance

int main() {
    conformance::Win32Arrange arrange;
    return conformance::RunSuite(arrange);
}
