// The simulated machine's own contract: what it gives back through plat::
// where the installer's tests depend on it behaving like Windows, and the
// simulation-only parts (fault injection, recording, host folder mapping).
// What Windows must do as well is checked by the conformance suite.
#include "machine_fixture.h"

namespace {

using sim::Device;
using sim::TheMachine;

constexpr char kCard[] = "PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10\\4&1A2B3C4D&0&00E0";
constexpr char kPort[] = "MFSERIAL\\PORTC\\5&2B3C4D5E&0&0";
constexpr char kParams[] = "SYSTEM\\CurrentControlSet\\Enum\\MFSERIAL\\PORTC\\5&2B3C4D5E&0&0\\Device Parameters";

Device MakeDevice(const std::string& id, GUID cls, bool present, std::vector<GUID> interfaces = {}) {
    Device device;
    device.instanceId = id;
    device.classGuid = cls;
    device.present = present;
    device.interfaces = std::move(interfaces);
    return device;
}

// The call's last error when it failed, ERROR_SUCCESS when it succeeded.
DWORD Err(bool succeeded) { return succeeded ? ERROR_SUCCESS : plat::GetLastError(); }

// The instance IDs of a set, in enumeration order.
std::vector<std::string> IdsIn(HDEVINFO set) {
    std::vector<std::string> ids;
    SP_DEVINFO_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; plat::SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        char id[200];
        EXPECT_TRUE(plat::SetupDiGetDeviceInstanceIdA(set, &data, id, sizeof id, nullptr));
        ids.push_back(id);
    }
    EXPECT_EQ(plat::GetLastError(), ERROR_NO_MORE_ITEMS);
    return ids;
}

class SimMachine : public ::testing::Test {
protected:
    void SetUp() override { TheMachine().Reset(); }
    void TearDown() override { TheMachine().Reset(); }
    sim::Machine& m = TheMachine();
};

// --- Device sets ---------------------------------------------------------------

TEST_F(SimMachine, SetFlagsSelectDevicesInTheOrderTheyWereAdded) {
    m.AddDevice(MakeDevice("ROOT\\A\\0", sim::kPortsClass, true, {sim::kComPortInterface}));
    m.AddDevice(MakeDevice("ROOT\\B\\0", sim::kSystemClass, false));
    m.AddDevice(MakeDevice("ROOT\\C\\0", sim::kPortsClass, true));
    m.AddDevice(MakeDevice("ROOT\\D\\0", sim::kPortsClass, false, {sim::kComPortInterface}));

    HDEVINFO all = plat::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    HDEVINFO present = plat::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    HDEVINFO ports = plat::SetupDiGetClassDevsA(&sim::kComPortInterface, nullptr, nullptr,
                                                DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    HDEVINFO cls = plat::SetupDiGetClassDevsA(&sim::kPortsClass, nullptr, nullptr, 0);
    using V = std::vector<std::string>;
    EXPECT_EQ(IdsIn(all), (V{"ROOT\\A\\0", "ROOT\\B\\0", "ROOT\\C\\0", "ROOT\\D\\0"}));
    EXPECT_EQ(IdsIn(present), (V{"ROOT\\A\\0", "ROOT\\C\\0"}));
    EXPECT_EQ(IdsIn(ports), (V{"ROOT\\A\\0"}));
    EXPECT_EQ(IdsIn(cls), (V{"ROOT\\A\\0", "ROOT\\C\\0", "ROOT\\D\\0"}));

    // A set is a snapshot: later devices stay out of it.
    m.AddDevice(MakeDevice("ROOT\\E\\0", sim::kSystemClass, true));
    EXPECT_EQ(IdsIn(all).size(), 4u);
    EXPECT_EQ(m.OpenHandles().deviceSets, 4);
    for (HDEVINFO set : {all, present, ports, cls}) EXPECT_TRUE(plat::SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(Err(plat::SetupDiDestroyDeviceInfoList(all)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(m.OpenHandles().deviceSets, 0);
}

TEST_F(SimMachine, ResetReleasesLeakedHandles) {
    m.AddDevice(MakeDevice(kPort, sim::kPortsClass, true));
    HDEVINFO set = plat::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    HKEY key = nullptr;
    ASSERT_EQ(plat::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kParams, 0, KEY_ALL_ACCESS, &key), 0);
    m.Reset();
    const sim::HandleCounts open = m.OpenHandles();
    EXPECT_EQ(open.deviceSets + open.keys + open.files + open.searches, 0);
    EXPECT_FALSE(plat::SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(plat::RegCloseKey(key), static_cast<LONG>(ERROR_INVALID_HANDLE));
}

// --- Driver update -----------------------------------------------------------------

// An update for a piece of a device's ID is in the conformance suite's driver update group.
TEST_F(SimMachine, DriverUpdateFollowsTheWindowsContract) {
    const char* inf = "C:\\WINDOWS\\INF\\.\\1port\\ZAN2kmf.inf";
    const char* id = "PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_10";
    Device card = MakeDevice(kCard, sim::kMultifunctionClass, true);
    card.properties[SPDRP_HARDWAREID] = sim::MultiSz({"PCI\\VEN_1D9E&DEV_0B54&SUBSYS_0B551D9E&REV_11"});
    card.properties[SPDRP_COMPATIBLEIDS] = sim::MultiSz({"pci\\ven_1d9e&dev_0b54&subsys_0b551d9e&rev_10"});
    Device absent = MakeDevice("PCI\\VEN_1D9E&DEV_0B54\\2", sim::kMultifunctionClass, false);
    absent.properties[SPDRP_HARDWAREID] = sim::MultiSz({id});
    Device other = MakeDevice("PCI\\VEN_1D9E&DEV_0B55\\3", sim::kMultifunctionClass, true);
    other.properties[SPDRP_HARDWAREID] = sim::MultiSz({"PCI\\VEN_1D9E&DEV_0B54"});  // a piece of the ID
    m.AddDevice(card);
    m.AddDevice(absent);
    m.AddDevice(other);

    // The flags are looked at before the INF, which is not there yet.
    EXPECT_EQ(Err(plat::UpdateDriverForPlugAndPlayDevicesA(nullptr, id, inf, 8, nullptr)), ERROR_INVALID_FLAGS);
    m.PutFile("C:\\WINDOWS\\INF\\1port\\ZAN2kmf.inf", "[Version]\n");
    BOOL reboot = TRUE;
    EXPECT_TRUE(plat::UpdateDriverForPlugAndPlayDevicesA(nullptr, id, inf, INSTALLFLAG_FORCE, &reboot));
    EXPECT_FALSE(reboot);

    EXPECT_EQ(m.FindDevice(kCard)->driverInf, inf);
    EXPECT_EQ(m.FindDevice("PCI\\VEN_1D9E&DEV_0B54\\2")->driverInf, "");
    EXPECT_EQ(m.FindDevice("PCI\\VEN_1D9E&DEV_0B55\\3")->driverInf, "");
    const auto calls = m.DriverUpdates();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].flags, 8u);
    EXPECT_EQ(calls[1].hardwareId, id);
    EXPECT_EQ(calls[1].infPath, inf);
}

// --- Driver store ---------------------------------------------------------------------

// A package used by a device that is not present, or by devices removed
// since, is uninstall_sequence_test's DriverPackageTest; one whose INF cannot
// be deleted, hostile_files_test's OEM copy table.
TEST_F(SimMachine, DriverPackagesLeaveTheStoreOnlyWhenNoKnownDeviceUsesThem) {
    const std::string inf = "C:\\WINDOWS\\INF\\";
    for (const char* name : {"oem1.inf", "oem2.inf"}) m.PublishDriverPackage(name, "[Version]\n");
    m.PutFile(inf + "oem4.inf", "[Version]\n");  // copied there by hand: no package of the store
    Device port = MakeDevice(kPort, sim::kPortsClass, true);
    port.driverPackage = "OEM2.INF";
    m.AddDevice(port);
    const auto uninstallError = [](const char* name, DWORD flags) {
        return plat::SetupUninstallOEMInfA(name, flags, nullptr) ? ERROR_SUCCESS : plat::GetLastError();
    };
    EXPECT_EQ(m.DriverPackages(), (std::vector<std::string>{"oem1.inf", "oem2.inf"}));
    EXPECT_TRUE(m.FileExists(inf + "oem1.pnf"));

    EXPECT_EQ(uninstallError("oem1.inf", 2), ERROR_INVALID_FLAGS);
    EXPECT_EQ(uninstallError("oem4.inf", 0), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(uninstallError("oem2.inf", 0), ERROR_INF_IN_USE_BY_DEVICES);
    m.FailNext("SetupUninstallOEMInfA", DWORD{8});
    EXPECT_EQ(uninstallError("oem2.inf", SUOI_FORCEDELETE), DWORD{8});
    // Nothing above changed the store or a file.
    EXPECT_EQ(m.DriverPackages(), (std::vector<std::string>{"oem1.inf", "oem2.inf"}));
    for (const char* file : {"oem1.inf", "oem1.PNF", "oem2.inf", "oem2.PNF", "oem4.inf"}) {
        EXPECT_TRUE(m.FileExists(inf + file)) << file;
    }

    // Forced, a package goes while a device uses it.
    EXPECT_EQ(uninstallError("OEM2.INF", SUOI_FORCEDELETE), ERROR_SUCCESS);
    EXPECT_EQ(m.DriverPackages(), std::vector<std::string>{"oem1.inf"});
    EXPECT_FALSE(m.FileExists(inf + "oem2.inf"));
    EXPECT_FALSE(m.FileExists(inf + "oem2.PNF"));
    EXPECT_EQ(m.Calls("SetupUninstallOEMInfA"), 5);
}

// --- Registry ------------------------------------------------------------------------

// The bytes stored, key path and value name case (the test-facing read's
// too), separate handles and a failed open's null key are in the conformance
// suite's "Device Parameters" group.
TEST_F(SimMachine, RegistryRefusesADeniedKey) {
    m.AddDevice(MakeDevice(kPort, sim::kPortsClass, true));
    m.DenyKeyAccess(kParams);
    HKEY key = nullptr;
    EXPECT_EQ(plat::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kParams, 0, KEY_ALL_ACCESS, &key),
              static_cast<LONG>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(m.OpenHandles().keys, 0);
}

// --- Files ------------------------------------------------------------------------------

TEST_F(SimMachine, WindowsPathsNormaliseOntoOneFile) {
    m.PutFile("C:\\WINDOWS\\INF\\1port\\ZAN2kmf.inf", "x");
    const auto host = m.HostPath("C:\\WINDOWS\\INF\\1port\\ZAN2kmf.inf");
    ASSERT_FALSE(host.empty());
    for (const char* spelling : {"c:/windows/inf/./1PORT/zan2kmf.INF", "C:\\WINDOWS\\INF\\\\1port\\ZAN2kmf.inf",
                                 "\\WINDOWS\\INF\\x\\..\\1port\\ZAN2kmf.inf", "C:\\..\\WINDOWS.\\INF\\1port\\ZAN2kmf.inf. .",
                                 "C:WINDOWS\\INF\\1port\\ZAN2kmf.inf"}) {
        EXPECT_EQ(m.HostPath(spelling), host) << spelling;
        HANDLE file = plat::CreateFileA(spelling, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << spelling;
        plat::CloseHandle(file);
    }
    EXPECT_TRUE(m.HostPath("D:\\WINDOWS").empty());
    EXPECT_TRUE(m.HostPath("C:\\WINDOWS\\a?b").empty());

    // A new name keeps the case it was given, inside the folders that exist.
    HANDLE marker = plat::CreateFileA("c:\\windows\\Result.Success", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(marker, INVALID_HANDLE_VALUE);
    plat::CloseHandle(marker);
    EXPECT_EQ(m.ListFolder("C:\\WINDOWS"), (std::vector<std::string>{"INF", "Result.Success"}));
    EXPECT_EQ(m.ListFolder("C:\\"), std::vector<std::string>{"WINDOWS"});
}

// Set up through the test-facing API; the other failures, and a read-only
// (undeletable) file's deletion, are in the conformance suite.
TEST_F(SimMachine, FilesMadeUnreadableOrUnwritable) {
    m.MakeUnreadable("C:\\WINDOWS\\INF\\locked.inf");
    m.PutFile("C:\\WINDOWS\\INF\\locked.inf", "z");
    m.MakeUnwritable("C:\\WINDOWS\\RESULT.FAIL");
    auto openError = [](const char* path, DWORD access, DWORD disposition) {
        HANDLE file = plat::CreateFileA(path, access, 0, nullptr, disposition, 0, nullptr);
        return Err(file != INVALID_HANDLE_VALUE && plat::CloseHandle(file));
    };
    EXPECT_EQ(openError("C:\\WINDOWS\\INF\\LOCKED.INF", GENERIC_READ, OPEN_EXISTING), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(openError("C:\\WINDOWS\\result.fail", GENERIC_WRITE, CREATE_ALWAYS), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(m.FileExists("C:\\WINDOWS\\RESULT.FAIL"));
}

// Which names a pattern takes, and that a closed search is none, are in the
// conformance suite's file search group; here the order NTFS gives them in,
// and what Wine's host order cannot show.
TEST_F(SimMachine, FileSearchGivesNtfsOrder) {
    for (const char* name : {"oem2.INF", "OEM10.inf", "OEM_1.inf", "OEMa.inf", "xoem3.inf"}) {
        m.PutFile(std::string("C:\\WINDOWS\\INF\\") + name, name);
    }
    WIN32_FIND_DATAA data;
    HANDLE find = plat::FindFirstFileA("C:\\WINDOWS\\inf\\OEM*.inf", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::string> names{data.cFileName};
    EXPECT_EQ(data.nFileSizeLow, std::strlen(data.cFileName));
    EXPECT_EQ(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    while (plat::FindNextFileA(find, &data)) names.push_back(data.cFileName);
    // Upper-cased order puts '_' after the letters.
    EXPECT_EQ(names, (std::vector<std::string>{"OEM10.inf", "oem2.INF", "OEMa.inf", "OEM_1.inf"}));
    EXPECT_TRUE(plat::FindClose(find));

    // Below the root a folder lists itself and its parent first.
    find = plat::FindFirstFileA("C:\\WINDOWS\\*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, ".");
    ASSERT_TRUE(plat::FindNextFileA(find, &data));
    EXPECT_STREQ(data.cFileName, "..");
    ASSERT_TRUE(plat::FindNextFileA(find, &data));
    EXPECT_STREQ(data.cFileName, "INF");
    EXPECT_NE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    plat::FindClose(find);
    EXPECT_EQ(m.OpenHandles().searches, 0);
}

// --- Folders, dialogs, clock and windows -------------------------------------------

TEST_F(SimMachine, MessageBoxesAnswerFromTheQueueThenByType) {
    m.QueueAnswers({IDYES});
    m.defaultAnswer = IDCANCEL;
    int answerSeenByHook = 0;
    m.onMessageBox = [&](const sim::MessageBoxCall& call) { answerSeenByHook = call.answer; };
    EXPECT_EQ(plat::MessageBoxA(nullptr, "q1", "c1", MB_YESNO), IDYES);
    EXPECT_EQ(plat::MessageBoxA(nullptr, "q2", "c2", MB_YESNO | MB_ICONQUESTION), IDCANCEL);
    EXPECT_EQ(plat::MessageBoxA(nullptr, "e", "c3", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(answerSeenByHook, IDOK);
    const auto boxes = m.MessageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[1].text, "q2");
    EXPECT_EQ(boxes[1].caption, "c2");
    EXPECT_EQ(boxes[1].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(boxes[1].answer, IDCANCEL);
}

TEST_F(SimMachine, SleepMovesTheClockAndCallsTheHookUnlocked) {
    bool lockFree = false;
    m.onSleep = [&](DWORD ms) {
        // The hook may call into the machine from any thread: another thread
        // must get through while the hook runs (it waits forever otherwise,
        // so it is left behind rather than joined).
        auto through = std::make_shared<std::atomic<bool>>(false);
        std::thread([through] {
            (void)TheMachine().NowMs();
            *through = true;
        }).detach();
        for (int i = 0; i < 500 && !*through; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        lockFree = *through;
        if (ms == 2000 && lockFree) plat::Sleep(1);  // a call back in from the hook itself
    };
    plat::Sleep(2000);
    plat::Sleep(50);
    EXPECT_TRUE(lockFree);
    EXPECT_EQ(m.NowMs(), 2051u);
    EXPECT_EQ(m.Sleeps(), (std::vector<DWORD>{2000, 1, 50}));
    EXPECT_EQ(m.Calls("Sleep"), 3);
}

TEST_F(SimMachine, LocalTimeFollowsTheClockAcrossDaysMonthsAndYears) {
    const std::uint64_t day = 24ull * 3600 * 1000;
    const auto at = [&](std::uint64_t addMs) {
        for (; addMs > day; addMs -= day) plat::Sleep(static_cast<DWORD>(day));
        plat::Sleep(static_cast<DWORD>(addMs));
        SYSTEMTIME t{};
        plat::GetLocalTime(&t);
        char text[64];
        std::snprintf(text, sizeof text, "%04u-%02u-%02u %u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
                      t.wDayOfWeek, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
        return std::string(text);
    };
    EXPECT_EQ(at(0), "2024-05-06 1 08:30:00.000");
    EXPECT_EQ(at(15 * 3600 * 1000 + 30 * 60 * 1000 + 999), "2024-05-07 2 00:00:00.999");  // past midnight
    EXPECT_EQ(at(25 * day), "2024-06-01 6 00:00:00.999");
    EXPECT_EQ(at(214 * day), "2025-01-01 3 00:00:00.999");
}

// Finding by whole title and keys sent are in the conformance suite's window
// group; the keys each window received, in ui_dismisser_test.
TEST_F(SimMachine, ALockedForegroundStaysAndAClosedWindowIsGone) {
    HWND wizard = m.AddWindow("Found New Hardware Wizard");
    HWND longer = m.AddWindow("Hardware Installation Log");
    EXPECT_TRUE(plat::SetForegroundWindow(wizard));
    m.foregroundLocked = true;
    EXPECT_TRUE(plat::SetForegroundWindow(longer));  // granted, yet nothing changes
    EXPECT_EQ(plat::GetForegroundWindow(), wizard);

    m.CloseWindow(wizard);
    EXPECT_EQ(plat::FindWindowExA(nullptr, nullptr, nullptr, "Found New Hardware Wizard"), nullptr);
    EXPECT_EQ(plat::GetForegroundWindow(), nullptr);
    EXPECT_FALSE(plat::SetForegroundWindow(wizard));
}

// --- Faults ------------------------------------------------------------------------------

// Each operation failing at the next call and at every call, with its error,
// counted and changing nothing, is in hostile_faults_test's EveryOperation
// tables; here what they cannot see.
TEST_F(SimMachine, FaultsLeaveAFolderLookupUnusableAndLastUntilCleared) {
    // No NUL in the 260 bytes, nothing written past them.
    m.FailNext("SHGetFolderPathA", ERROR_ACCESS_DENIED);
    char buffer[MAX_PATH + 1] = {};
    EXPECT_EQ(plat::SHGetFolderPathA(nullptr, CSIDL_WINDOWS, nullptr, 0, buffer), E_FAIL);
    EXPECT_EQ(std::memchr(buffer, '\0', MAX_PATH), nullptr);
    EXPECT_EQ(buffer[MAX_PATH], '\0');

    m.FailAlways("SetupDiGetClassDevsA", ERROR_INVALID_DATA);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Err(plat::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES) != INVALID_HANDLE_VALUE),
                  ERROR_INVALID_DATA);
    }
    m.ClearFaults();
    HDEVINFO set = plat::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    plat::SetupDiDestroyDeviceInfoList(set);
    EXPECT_EQ(m.Calls("SetupDiGetClassDevsA"), 3);
}

// --- Threads ------------------------------------------------------------------------------

TEST_F(SimMachine, LastErrorBelongsToEachThreadAndCallsMayRace) {
    m.AddWindow("Hardware Installation");
    std::atomic<bool> done{false};
    DWORD workerError = 0;
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) {
            plat::OutputDebugStringA("--> step");
            plat::Sleep(1);
        }
        plat::SetForegroundWindow(nullptr);
        workerError = plat::GetLastError();
        done = true;
    });
    std::thread dismisser([&] {
        INPUT key = {};
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = 0x43;
        while (!done) {
            HWND window = plat::FindWindowExA(nullptr, nullptr, nullptr, "Hardware Installation");
            plat::SetForegroundWindow(window);
            plat::SendInput(1, &key, static_cast<int>(sizeof key));
        }
    });
    while (!done) (void)m.Trace().size();
    worker.join();
    dismisser.join();
    EXPECT_EQ(workerError, ERROR_INVALID_WINDOW_HANDLE);  // each thread's own: the conformance suite checks it
    EXPECT_EQ(m.Trace().size(), 200u);
    EXPECT_EQ(m.NowMs(), 200u);
    EXPECT_EQ(static_cast<int>(m.Inputs().size()), m.Calls("SendInput"));
}

}  // namespace
