// The "arrange" side of the platform conformance suite: how a machine is given
// the devices, registry values and files the checks then look at through
// plat::. There are two: one over the simulated machine (sim_arrange.cpp) and
// one over the real setup API (win32_arrange.cpp, run under Wine). Everything
// the suite asserts goes through plat::; only the set-up, and reading a
// registry value back (which plat:: has no call for), go through this
// interface.
#pragma once

#include "platform/platform.h"
#include "platform/setup_values.h"

#include <functional>
#include <string>
#include <vector>

namespace conformance {

// Setup classes and the serial-port interface class (the same value as the
// Ports class, as the installer uses it).
using plat::kComPortInterface;
using plat::kPortsClass;
using plat::kSystemClass;

// One present root-enumerated device, created as a device installer creates
// it: instance ID "ROOT\<name>\NNNN", a "Device Parameters" key below its
// hardware key.
struct NewDevice {
    std::string name;
    GUID setupClass = kSystemClass;
    // Stored as SPDRP_DEVICEDESC (REG_SZ); none when empty.
    std::string description;
    // Stored as SPDRP_HARDWAREID: REG_MULTI_SZ, or with hardwareIdAsSz the
    // first ID alone as REG_SZ (the type a device's key may hold it with).
    std::vector<std::string> hardwareIds;
    bool hardwareIdAsSz = false;
    // Exposes an enabled device interface of the serial-port class.
    bool comPortInterface = false;
};

class Arrange {
public:
    virtual ~Arrange() = default;

    // What the checks run against, for the output.
    virtual std::string Describe() const = 0;

    // Creates the device; returns its instance ID, or "" after printing why it failed.
    virtual std::string AddDevice(const NewDevice& wanted) = 0;

    // A fresh empty folder for the file checks (a Windows path without a
    // trailing backslash), or "" on failure.
    virtual std::string ScratchFolder() = 0;
    virtual bool PutFolder(const std::string& windowsPath) = 0;
    // With readOnly, the file made read-only afterwards, as an admin would.
    virtual bool PutFile(const std::string& windowsPath, const std::string& bytes, bool readOnly = false) = 0;
    // A second name for an existing file, and a symbolic link to a file or
    // folder that need not exist, as a user would plant them.
    virtual bool PutHardLink(const std::string& linkPath, const std::string& existingPath) = 0;
    virtual bool PutSymbolicLink(const std::string& linkPath, const std::string& targetPath) = 0;

    // Runs `body` on a thread of its own and returns once that thread has ended.
    virtual void RunOnOtherThread(const std::function<void()>& body) = 0;

    // A program file at `windowsPath` that, started with the command line
    // "<path>" --exit N, ends with exit code N.
    virtual bool PutProgram(const std::string& windowsPath) = 0;

    // A value below HKEY_LOCAL_MACHINE as stored: its type and exact bytes.
    virtual bool QueryValue(const std::string& keyPath, const std::string& name, DWORD* type, std::string* bytes) = 0;

    // Publishes the INF file at `sourceInf` as a driver package, the way a
    // driver's setup does: a copy "oemNN.inf" in the Windows INF folder, with
    // its PNF beside it. Returns the copy's name, or "" after printing why
    // it failed.
    virtual std::string PublishDriverPackage(const std::string& sourceInf) = 0;

    // Whether the API here acts as Windows documents it where Wine 8 does not
    // (elsewhere the suite shows these results instead of asserting them). The
    // driver update fails when no present device carries the hardware ID
    // (ERROR_NO_SUCH_DEVINST) or the INF file is missing (ERROR_FILE_NOT_FOUND):
    // Wine's returns TRUE. The driver package removal deletes the published INF
    // and its PNF without flags, the PNF too with SUOI_FORCEDELETE, and fails for
    // a name the store does not hold (ERROR_FILE_NOT_FOUND): Wine's deletes
    // nothing without flags ("not deleting"), only the INF when forced, and
    // succeeds for any name. A removed device's element keeps its install
    // parameters readable (where a removal leaves DI_NEEDREBOOT): Wine fails the
    // read. A read-only file refuses appending: Wine lets a process of root
    // append. FILE_FLAG_OPEN_REPARSE_POINT opens a symbolic link as itself,
    // marked FILE_ATTRIBUTE_REPARSE_POINT: Wine follows every link (its handle's
    // final path names the target), and one leading nowhere is no file to it.
    virtual bool AsWindowsDocuments() const = 0;

    // What the system gives by another route than plat::, to hold plat::
    // against: the Windows folder, the local time (milliseconds since
    // 1970-01-01 00:00 local time, see LocalMs) and this process's ID.
    virtual std::string WindowsFolder() = 0;
    virtual long long LocalTimeMs() = 0;
    virtual DWORD ProcessId() = 0;

    // The last text given to the debugger output, where the process can
    // read it back (the simulated machine); "-" elsewhere.
    virtual std::string LastDebuggerOutput() { return "-"; }

    // A visible top-level window of this process with this title, or nullptr.
    virtual HWND PutWindow(const std::string& title) = 0;

    // How often the suite has called the plat:: operation, where that is
    // counted (the simulated machine); -1 elsewhere.
    virtual int Calls(const char*) const { return -1; }
};

// Letters a-z upper-cased: instance IDs, device names and paths compare so.
inline std::string Upper(std::string text) {
    for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return text;
}

// A local time as milliseconds since 1970-01-01 00:00 of the same clock.
inline long long LocalMs(const SYSTEMTIME& t) {
    // Days from the civil date (proleptic Gregorian calendar).
    const int y = t.wYear - (t.wMonth <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (t.wMonth + (t.wMonth > 2 ? -3 : 9)) + 2) / 5 + t.wDay - 1;
    const long long days = era * 146097LL + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    return ((days * 24 + t.wHour) * 60 + t.wMinute) * 60000LL + t.wSecond * 1000LL + t.wMilliseconds;
}

// Runs every check against whatever `arrange` set up; returns the exit code.
int RunSuite(Arrange& arrange);

}  // namespace conformance
