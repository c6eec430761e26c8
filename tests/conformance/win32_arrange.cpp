// The conformance suite against the real API: devices are created in the
// system's device database the way a device installer registers them (with
// posmachine's device creation), files go to a folder below the Windows
// directory. Meant for a throwaway Wine
// prefix (tests/e2e/test_conformance.sh); on Windows it needs an elevated
// prompt, and it leaves its devices behind.
#include "tests/conformance/arrange.h"
#include "tools/posmachine/device_create.h"

#include <setupapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace conformance {
namespace {

bool Complain(const char* what, const std::string& subject, DWORD error = ::GetLastError()) {
    std::printf("   arrange: %s failed for \"%s\" (error %08lX)\n", what, subject.c_str(),
                static_cast<unsigned long>(error));
    return false;
}

class Win32Arrange : public Arrange {
public:
    Win32Arrange() {
        const auto version = reinterpret_cast<const char*(__cdecl*)()>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version")));
        if (version != nullptr) wine_ = version();
    }

    std::string Describe() const override {
        return wine_.empty() ? "the Windows API (Windows)" : "the Windows API (Wine " + wine_ + ")";
    }

    std::string AddDevice(const NewDevice& wanted) override {
        pm::NewDevice device;
        device.name = wanted.name;
        device.setupClass = wanted.setupClass;
        device.description = wanted.description;
        device.hardwareIds = wanted.hardwareIds;
        device.hardwareIdAsSz = wanted.hardwareIdAsSz;
        device.comPortInterface = wanted.comPortInterface;
        device.parametersKey = true;
        const pm::CreatedDevice created = pm::CreateRootDevice(device);
        if (created.failedStep != nullptr) Complain(created.failedStep, wanted.name, created.error);
        return created.instanceId;
    }

    std::string ScratchFolder() override {
        char windows[MAX_PATH];
        const UINT length = ::GetWindowsDirectoryA(windows, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return "";
        const std::string temp = std::string(windows) + "\\Temp";
        ::CreateDirectoryA(temp.c_str(), nullptr);
        const std::string folder = temp + "\\zan-conformance-" + std::to_string(::GetCurrentProcessId());
        return PutFolder(folder) ? folder : "";
    }

    bool PutFolder(const std::string& windowsPath) override {
        return ::CreateDirectoryA(windowsPath.c_str(), nullptr) || Complain("CreateDirectoryA", windowsPath);
    }

    bool PutFile(const std::string& windowsPath, const std::string& bytes, bool readOnly) override {
        HANDLE file = ::CreateFileA(windowsPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return Complain("CreateFileA", windowsPath);
        DWORD written = 0;
        const BOOL ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(file);
        if (!ok || written != bytes.size()) return Complain("WriteFile", windowsPath);
        return !readOnly || ::SetFileAttributesA(windowsPath.c_str(), FILE_ATTRIBUTE_READONLY) ||
               Complain("SetFileAttributesA", windowsPath);
    }

    bool PutHardLink(const std::string& linkPath, const std::string& existingPath) override {
        return ::CreateHardLinkA(linkPath.c_str(), existingPath.c_str(), nullptr) ||
               Complain("CreateHardLinkA", linkPath);
    }

    // Wine 8 has no symbolic links of its own (its CreateSymbolicLinkA does
    // nothing): the link is made by the host's ln, which Wine starts as it
    // starts any program, between the host paths of the two. Wine cannot wait
    // for that program, nor see a link to nothing: a missing target is made
    // for as long as it takes to see the link appear.
    bool PutSymbolicLink(const std::string& linkPath, const std::string& targetPath) override {
        const DWORD targetAttributes = ::GetFileAttributesA(targetPath.c_str());
        const bool folder =
            targetAttributes != INVALID_FILE_ATTRIBUTES && (targetAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (wine_.empty()) {
            const DWORD flags = (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | 0x2;  // unprivileged create
            return ::CreateSymbolicLinkA(linkPath.c_str(), targetPath.c_str(), flags) ||
                   Complain("CreateSymbolicLinkA", linkPath);
        }
        using UnixName = char*(__cdecl*)(const wchar_t*);
        const auto unixName = reinterpret_cast<UnixName>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
        if (unixName == nullptr) return Complain("wine_get_unix_file_name", linkPath, ERROR_PROC_NOT_FOUND);
        const auto host = [&](const std::string& path) {
            wchar_t wide[MAX_PATH] = {};
            ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
            char* name = unixName(wide);
            const std::string text = name != nullptr ? name : "";
            if (name != nullptr) ::HeapFree(::GetProcessHeap(), 0, name);
            return text;
        };
        const bool madeTarget = targetAttributes == INVALID_FILE_ATTRIBUTES && PutFile(targetPath, "", false);
        std::string command = "/bin/ln -s \"" + host(targetPath) + "\" \"" + host(linkPath) + "\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started = {};
        const BOOL ran = ::CreateProcessA("Z:\\bin\\ln", &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                          &startup, &started);
        if (ran) {
            ::CloseHandle(started.hThread);
            ::CloseHandle(started.hProcess);
        }
        bool seen = false;
        for (int wait = 0; ran && !seen && wait < 100; ++wait) {
            seen = ::GetFileAttributesA(linkPath.c_str()) != INVALID_FILE_ATTRIBUTES;
            if (!seen) ::Sleep(100);
        }
        if (madeTarget) ::DeleteFileA(targetPath.c_str());
        if (!ran) return Complain("CreateProcessA of the host's ln", linkPath);
        return seen || Complain("ln -s", linkPath, ERROR_FILE_NOT_FOUND);
    }

    void RunOnOtherThread(const std::function<void()>& body) override {
        HANDLE thread = ::CreateThread(nullptr, 0, RunBody, const_cast<std::function<void()>*>(&body), 0, nullptr);
        if (thread == nullptr) return static_cast<void>(Complain("CreateThread", "a thread of its own"));
        ::WaitForSingleObject(thread, INFINITE);
        ::CloseHandle(thread);
    }

    // A copy of this program, which ends with N when started with --exit N.
    bool PutProgram(const std::string& windowsPath) override {
        char own[MAX_PATH];
        const DWORD length = ::GetModuleFileNameA(nullptr, own, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return Complain("GetModuleFileNameA", windowsPath);
        return ::CopyFileA(own, windowsPath.c_str(), FALSE) || Complain("CopyFileA", windowsPath);
    }

    bool QueryValue(const std::string& keyPath, const std::string& name, DWORD* type, std::string* bytes) override {
        HKEY key;
        const LONG opened = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key);
        if (opened != ERROR_SUCCESS) return false;
        // Room for the values the checks read back, and the NUL the call adds to a string stored without one.
        BYTE buffer[1024];
        DWORD size = sizeof buffer;
        const LONG result = ::RegQueryValueExA(key, name.c_str(), nullptr, type, buffer, &size);
        ::RegCloseKey(key);
        if (result == ERROR_SUCCESS) bytes->assign(reinterpret_cast<const char*>(buffer), size);
        return result == ERROR_SUCCESS;
    }

    std::string PublishDriverPackage(const std::string& sourceInf) override {
        char published[MAX_PATH] = {};
        PSTR name = nullptr;
        if (!::SetupCopyOEMInfA(sourceInf.c_str(), nullptr, SPOST_NONE, 0, published, MAX_PATH, nullptr, &name) ||
            name == nullptr) {
            Complain("SetupCopyOEMInfA", sourceInf);
            return "";
        }
        // Windows compiles the PNF when it first reads the INF; where none
        // was made, one stands in for it.
        std::string pnf = published;
        pnf.replace(pnf.size() - 3, 3, "PNF");
        if (::GetFileAttributesA(pnf.c_str()) == INVALID_FILE_ATTRIBUTES) {
            std::printf("   arrange: %s was published without a PNF; one is put beside it\n", name);
            if (!PutFile(pnf, "pnf", false)) return "";
        }
        return name;
    }

    bool AsWindowsDocuments() const override { return wine_.empty(); }

    std::string WindowsFolder() override {
        char path[MAX_PATH] = {};
        const DWORD length = ::GetEnvironmentVariableA("WINDIR", path, MAX_PATH);
        return length > 0 && length < MAX_PATH ? path : "<no WINDIR>";
    }

    // The system time, made local by the time zone.
    long long LocalTimeMs() override {
        FILETIME utc, local;
        SYSTEMTIME time;
        ::GetSystemTimeAsFileTime(&utc);
        if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &time)) return -1;
        return LocalMs(time);
    }

    // Asked of the system through the process's handle rather than read from the thread.
    DWORD ProcessId() override { return ::GetProcessId(::GetCurrentProcess()); }

    HWND PutWindow(const std::string& title) override {
        HWND window = ::CreateWindowExA(0, "STATIC", title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300,
                                        100, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
        if (window == nullptr) Complain("CreateWindowExA", title);
        return window;
    }

private:
    static DWORD WINAPI RunBody(LPVOID body) {
        (*static_cast<const std::function<void()>*>(body))();
        return 0;
    }

    std::string wine_;
};

}  // namespace
}  // namespace conformance

int main(int argc, char** argv) {
    // A copy started by the program-start checks.
    if (argc == 3 && std::strcmp(argv[1], "--exit") == 0) return std::atoi(argv[2]);
    conformance::Win32Arrange arrange;
    return conformance::RunSuite(arrange);
}
