// The platform behaviours the installer relies on, checked through plat:: only.
// The same checks run against the simulated machine and against the real API
// under Wine, so that the simulation the unit tests use cannot drift from a
// real system on anything the installer depends on.
#include "tests/conformance/arrange.h"
#include "tests/conformance/check.h"
#include "platform/operations.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

// A call that failed (`failed` holds) and the last error it left: two checks.
#define CHECK_FAILS(failed, error)                                                  \
    (::conformance::Record(static_cast<bool>(failed), __FILE__, __LINE__, #failed), \
     ::conformance::RecordEq((error), plat::GetLastError(), __FILE__, __LINE__, #error, "last error after " #failed))
// A property read (a Read) that succeeded with this type and these bytes: three checks.
#define CHECK_READ(wantedType, wantedBytes, read) \
    [&](const Read& got) { CHECK(got.ok), CHECK_EQ(wantedType, got.type), CHECK_EQ(wantedBytes, got.bytes); }(read)
// A call's result where Wine differs from Windows (Arrange::AsWindowsDocuments): there shown, not asserted;
// elsewhere two checks that it failed with `error`, or for ERROR_SUCCESS one that it succeeded.
#define CHECK_DOCUMENTED(asserted, what, result, error) Documented((asserted), (what), (result), (error), __LINE__)

namespace conformance {
namespace {

// What the installer passes for property values and instance IDs.
constexpr DWORD kBuffer = 100;

// An interface class no device exposes.
constexpr GUID kUnusedInterface = {0x6B1E0F4A, 0x3C2D, 0x4E5F, {0x9A, 0x8B, 0x7C, 0x6D, 0x5E, 0x4F, 0x30, 0x21}};

static_assert(sizeof(SP_DEVINFO_DATA) == (sizeof(void*) == 8 ? 32 : 28),
              "the element layout follows the Windows ABI of this pointer size");
static_assert(sizeof(SP_DEVINSTALL_PARAMS_A) == (sizeof(void*) == 8 ? 320 : 296),
              "the install parameters' layout follows the Windows ABI of this pointer size");

std::string Sz(const std::string& text) { return text + std::string(1, '\0'); }

std::string Text(const char* buffer, std::size_t size) {
    const void* nul = std::memchr(buffer, '\0', size);
    return std::string(buffer, nul != nullptr ? static_cast<const char*>(nul) - buffer : size);
}

bool Valid(HANDLE handle) { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }

bool Exists(const std::string& path) { return plat::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Called right after the call, so that the last error is the call's.
void Documented(bool asserted, const char* what, BOOL result, DWORD error, int line) {
    const DWORD last = plat::GetLastError();
    if (!asserted) {
        char text[200];
        std::snprintf(text, sizeof text, "not asserted here: %s -> %d, last error %08lX", what, result,
                      static_cast<unsigned long>(last));
        return Note(text);
    }
    const bool succeeds = error == ERROR_SUCCESS;
    Record((result != FALSE) == succeeds, __FILE__, line, std::string(what) + (succeeds ? ": succeeds" : ": fails"));
    if (!succeeds) RecordEq(error, last, __FILE__, line, "error", (std::string(what) + ": last error").c_str());
}

// A structure as the installer passes it: zeroed, its size field set.
template <typename T>
T Sized() {
    T value = {};
    value.cbSize = sizeof value;
    return value;
}

SP_DEVINFO_DATA NewElement() { return Sized<SP_DEVINFO_DATA>(); }

// One walk of a set as the installer makes it: index from 0 until the fetch
// fails. The instance IDs (upper-cased) in order, and the error that ended it.
struct Walk {
    std::vector<std::string> ids;
    DWORD endError = ERROR_SUCCESS;
    bool Holds(const std::string& id) const { return std::find(ids.begin(), ids.end(), Upper(id)) != ids.end(); }
};

// The instance ID read into a buffer of the installer's size, upper-cased.
std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA* data) {
    char id[kBuffer] = {};
    return plat::SetupDiGetDeviceInstanceIdA(set, data, id, kBuffer, nullptr) ? Upper(id) : "<unreadable>";
}

Walk WalkSet(HDEVINFO set) {
    Walk walk;
    SP_DEVINFO_DATA data = NewElement();
    for (DWORD index = 0; plat::SetupDiEnumDeviceInfo(set, index, &data); ++index) {
        walk.ids.push_back(InstanceId(set, &data));
        data = NewElement();
    }
    walk.endError = plat::GetLastError();
    return walk;
}

void CheckHeld(const Walk& walk, const std::vector<std::string>& in, const std::vector<std::string>& out = {}) {
    for (const std::string& id : in) {
        if (!CHECK(walk.Holds(id))) Note("missing: " + id);
    }
    for (const std::string& id : out) {
        if (!CHECK(!walk.Holds(id))) Note("there all the same: " + id);
    }
}

bool FindElement(HDEVINFO set, const std::string& id, SP_DEVINFO_DATA* found, DWORD* foundIndex = nullptr) {
    const Walk walk = WalkSet(set);
    const DWORD index = static_cast<DWORD>(std::find(walk.ids.begin(), walk.ids.end(), Upper(id)) - walk.ids.begin());
    if (foundIndex != nullptr) *foundIndex = index;
    *found = NewElement();
    return index < walk.ids.size() && plat::SetupDiEnumDeviceInfo(set, index, found);
}

// A set obtained with these flags: `body` gets it, then it is destroyed.
void WithSet(const GUID* guid, DWORD flags, const std::function<void(HDEVINFO)>& body) {
    HDEVINFO set = plat::SetupDiGetClassDevsA(guid, nullptr, nullptr, flags);
    if (!CHECK(Valid(set))) return;
    body(set);
    CHECK(plat::SetupDiDestroyDeviceInfoList(set));
}
// A set as the installer obtains it: every device of every class, or, given
// an interface class, the present devices exposing it.
void WithSet(const GUID* interfaceClass, const std::function<void(HDEVINFO)>& body) {
    WithSet(interfaceClass, interfaceClass == nullptr ? DIGCF_ALLCLASSES : DIGCF_PRESENT | DIGCF_DEVICEINTERFACE, body);
}
void WithSet(const std::function<void(HDEVINFO)>& body) { WithSet(nullptr, body); }

Walk WalkNewSet(const GUID* interfaceClass = nullptr) {
    Walk walk;
    WithSet(interfaceClass, [&](HDEVINFO set) { walk = WalkSet(set); });
    return walk;
}

// The element of device `id` in such a set, handed to `body`; a failed check when it is not there.
using ElementBody = std::function<void(HDEVINFO, SP_DEVINFO_DATA&)>;
void WithElement(const GUID* interfaceClass, const std::string& id, const ElementBody& body) {
    WithSet(interfaceClass, [&](HDEVINFO set) {
        SP_DEVINFO_DATA element;
        if (CHECK(FindElement(set, id, &element))) body(set, element);
    });
}
void WithElement(const std::string& id, const ElementBody& body) { WithElement(nullptr, id, body); }

// A property read into a 100-byte buffer, with the required size asked for.
// On failure the last error is the read's.
struct Read {
    BOOL ok = FALSE;
    DWORD type = 0;
    DWORD required = 0;
    std::string bytes;  // the value as returned (its required size), on success
};

Read ReadProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property) {
    Read read;
    BYTE buffer[kBuffer] = {};
    read.ok = plat::SetupDiGetDeviceRegistryPropertyA(set, data, property, &read.type, buffer, kBuffer,
                                                      &read.required);
    if (read.ok) read.bytes.assign(reinterpret_cast<const char*>(buffer), std::min(read.required, kBuffer));
    return read;
}

// The read exactly as the installer makes it: type preset to 0, no required size.
bool ReadsLikeTheInstaller(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, DWORD* type = nullptr) {
    BYTE buffer[kBuffer];
    DWORD own = 0;
    if (type == nullptr) type = &own;
    *type = 0;
    return plat::SetupDiGetDeviceRegistryPropertyA(set, data, property, type, buffer, kBuffer, nullptr) != FALSE;
}

bool WriteFriendlyName(HDEVINFO set, SP_DEVINFO_DATA* element, const char* bytes, DWORD size) {
    return plat::SetupDiSetDeviceRegistryPropertyA(set, element, SPDRP_FRIENDLYNAME,
                                                   reinterpret_cast<const BYTE*>(bytes), size) != FALSE;
}

const std::string kEnum = "SYSTEM\\CurrentControlSet\\ENUM\\";
std::string ParametersKey(const std::string& instanceId) { return kEnum + instanceId + "\\Device Parameters"; }

// A failed open leaves no key behind (a stale one is not kept).
HKEY OpenKey(const std::string& path, LONG expected = ERROR_SUCCESS) {
    HKEY key = reinterpret_cast<HKEY>(1);
    CHECK_EQ(expected, plat::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key));
    if (expected != ERROR_SUCCESS) CHECK(key == nullptr);
    return key;
}

std::string Padded(const std::string& start, std::size_t length) {
    std::string text = start;
    for (char c = 'A'; text.size() < length; c = (c == 'Z') ? 'A' : static_cast<char>(c + 1)) text.push_back(c);
    return text.substr(0, length);
}

// --- The machine the checks look at ---------------------------------------------

struct Devices {
    std::string port;        // Ports class, exposes the serial-port interface
    std::string systemPort;  // System class, exposes the serial-port interface too
    std::string bare;        // Ports class, no interface, no description
    std::string sizes;       // description one byte over the buffer, ID list exactly filling it
    std::string singleId;    // hardware ID stored as REG_SZ, description exactly filling the buffer
    std::string doomed;      // removed by the removal checks; exposes the interface
    std::string driver;      // the target of the driver update
    std::vector<std::string> All() const { return {port, systemPort, bare, sizes, singleId, doomed, driver}; }
};

const std::vector<std::string> kPortIds = {"ZANCONF\\PORT&REV_01", "ZANCONF\\PORT"};
const char kPortDescription[] = "ZAN Conformance Port";
const char kSingleId[] = "ZANCONF\\SINGLE_STRING_ID";
const char kDriverId[] = "ZANCONF\\DRIVER_UPDATE";

// Two IDs whose list, with its NULs and the closing empty string, is 100 bytes.
std::vector<std::string> FullBufferIds() {
    const std::string first = "ZANCONF\\SIZES";
    return {first, Padded("ZANCONF\\", kBuffer - (first.size() + 1) - 2)};
}

bool ArrangeDevices(Arrange& arrange, Devices* devices) {
    // name, setup class, description, hardware IDs, the first ID alone as REG_SZ, the serial-port interface
    devices->port = arrange.AddDevice({"ZANCONF_PORT", kPortsClass, kPortDescription, kPortIds, false, true});
    devices->systemPort = arrange.AddDevice({"ZANCONF_SYSPORT", kSystemClass, "ZAN Conformance System Device With Port",
                                             {"ZANCONF\\SYSTEM_WITH_PORT"}, false, true});
    devices->bare = arrange.AddDevice({"ZANCONF_BARE", kPortsClass, "", {"ZANCONF\\PORT_WITHOUT_INTERFACE"}});
    // Its description is 101 bytes with its NUL.
    devices->sizes = arrange.AddDevice(
        {"ZANCONF_SIZES", kSystemClass, Padded("ZAN Conformance Over The Buffer ", kBuffer), FullBufferIds()});
    // Its description is 100 bytes with its NUL.
    devices->singleId = arrange.AddDevice(
        {"ZANCONF_SZID", kSystemClass, Padded("ZAN Conformance Filling The Buffer ", kBuffer - 1), {kSingleId}, true});
    devices->doomed = arrange.AddDevice(
        {"ZANCONF_DOOMED", kSystemClass, "ZAN Conformance Device To Remove", {"ZANCONF\\TO_REMOVE"}, false, true});
    devices->driver =
        arrange.AddDevice({"ZANCONF_DRIVER", kSystemClass, "ZAN Conformance Driver Target", {kDriverId}});

    const std::vector<std::string> all = devices->All();
    return std::none_of(all.begin(), all.end(), [](const std::string& id) { return id.empty(); });
}

// --- Device sets ------------------------------------------------------------------

void CheckAllClassesSet(const Devices& devices) {
    Section("every device of every class (DIGCF_ALLCLASSES)");
    WithSet([&](HDEVINFO set) {
        const Walk walk = WalkSet(set);
        CHECK_EQ(ERROR_NO_MORE_ITEMS, walk.endError);
        CheckHeld(walk, devices.All());
        // Past the end it stays at the end.
        SP_DEVINFO_DATA data = NewElement();
        CHECK_FAILS(!plat::SetupDiEnumDeviceInfo(set, static_cast<DWORD>(walk.ids.size()) + 1, &data),
                    ERROR_NO_MORE_ITEMS);
    });
}

// The size fields of an element and of the install parameters (which an
// unattended uninstall reads after each removal), set as the installer sets
// them; and an element belongs to the set it came from.
void CheckSizeFields(const Devices& devices) {
    Section("size fields: element and install parameters");
    const DWORD right = sizeof(SP_DEVINFO_DATA);
    WithSet([&](HDEVINFO set) {
        // The other pointer size's layout is as wrong as any other size.
        for (DWORD wrong : {DWORD{0}, right - 4, right + 4}) {
            SP_DEVINFO_DATA data = NewElement();
            data.cbSize = wrong;
            CHECK_FAILS(!plat::SetupDiEnumDeviceInfo(set, 0, &data), ERROR_INVALID_USER_BUFFER);
        }
        SP_DEVINFO_DATA data = NewElement();
        CHECK(plat::SetupDiEnumDeviceInfo(set, 0, &data));
        CHECK_EQ(right, data.cbSize);
    });
    WithElement(devices.port, [&](HDEVINFO set, SP_DEVINFO_DATA& port) {
        CHECK(std::memcmp(&port.ClassGuid, &kPortsClass, sizeof(GUID)) == 0);
        // An element of another set is not read, nor one handed back with another size.
        WithSet([&](HDEVINFO other) {
            CHECK_FAILS(InstanceId(other, &port) == "<unreadable>", ERROR_INVALID_PARAMETER);
        });
        for (DWORD wrong : {DWORD{0}, right - 4}) {
            SP_DEVINFO_DATA resized = port;
            resized.cbSize = wrong;
            CHECK_FAILS(!ReadsLikeTheInstaller(set, &resized, SPDRP_HARDWAREID), ERROR_INVALID_PARAMETER);
            CHECK_FAILS(InstanceId(set, &resized) == "<unreadable>", ERROR_INVALID_PARAMETER);
        }
    });
    WithElement(devices.driver, [&](HDEVINFO set, SP_DEVINFO_DATA& element) {
        SP_DEVINSTALL_PARAMS_A params = Sized<SP_DEVINSTALL_PARAMS_A>();
        CHECK(plat::SetupDiGetDeviceInstallParamsA(set, &element, &params));
        CHECK_EQ(sizeof params, params.cbSize);
        CHECK_EQ(0, params.Flags & (DI_NEEDREBOOT | DI_NEEDRESTART));
        params.cbSize = sizeof params - 4;
        CHECK_FAILS(!plat::SetupDiGetDeviceInstallParamsA(set, &element, &params), ERROR_INVALID_USER_BUFFER);
    });
}

void CheckPropertyReads(const Devices& devices) {
    Section("device property reads");
    // A hardware ID list: REG_MULTI_SZ, each ID with its NUL, then an empty string.
    WithElement(devices.port, [&](HDEVINFO set, SP_DEVINFO_DATA& element) {
        CHECK_READ(REG_MULTI_SZ, plat::MultiSzBytes(kPortIds), ReadProperty(set, &element, SPDRP_HARDWAREID));
        CHECK_READ(REG_SZ, Sz(kPortDescription), ReadProperty(set, &element, SPDRP_DEVICEDESC));
        DWORD type = 0;
        CHECK(ReadsLikeTheInstaller(set, &element, SPDRP_HARDWAREID, &type));
        CHECK_EQ(REG_MULTI_SZ, type);
    });

    // The type is reported as the value is stored, whatever the property.
    WithElement(devices.singleId, [&](HDEVINFO set, SP_DEVINFO_DATA& element) {
        CHECK_READ(REG_SZ, Sz(kSingleId), ReadProperty(set, &element, SPDRP_HARDWAREID));
        // A value of exactly the buffer's size fits.
        const Read description = ReadProperty(set, &element, SPDRP_DEVICEDESC);
        CHECK(description.ok);
        CHECK_EQ(kBuffer, description.required);
        CHECK_EQ(REG_SZ, description.type);
    });

    // Absent: no value, no type.
    WithElement(devices.bare, [&](HDEVINFO set, SP_DEVINFO_DATA& element) {
        CHECK_FAILS(!ReadProperty(set, &element, SPDRP_DEVICEDESC).ok, ERROR_INVALID_DATA);
        CHECK(!ReadsLikeTheInstaller(set, &element, SPDRP_DEVICEDESC));
    });

    // One byte over the buffer fails, tells the size and leaves the buffer
    // as it was; a list filling it exactly is read.
    WithElement(devices.sizes, [&](HDEVINFO set, SP_DEVINFO_DATA& element) {
        const Read description = ReadProperty(set, &element, SPDRP_DEVICEDESC);
        CHECK_FAILS(!description.ok, ERROR_INSUFFICIENT_BUFFER);
        CHECK_EQ(kBuffer + 1, description.required);
        BYTE buffer[kBuffer];
        std::memset(buffer, 'x', sizeof buffer);
        DWORD type = 0;
        CHECK_FAILS(!plat::SetupDiGetDeviceRegistryPropertyA(set, &element, SPDRP_DEVICEDESC, &type, buffer, kBuffer,
                                                             nullptr),
                    ERROR_INSUFFICIENT_BUFFER);
        CHECK_EQ(std::string(kBuffer, 'x'), std::string(reinterpret_cast<const char*>(buffer), kBuffer));
        CHECK_READ(REG_MULTI_SZ, plat::MultiSzBytes(FullBufferIds()), ReadProperty(set, &element, SPDRP_HARDWAREID));
    });
}

void CheckInstanceIds(const Devices& devices) {
    Section("instance IDs");
    WithElement(devices.port, [&](HDEVINFO set, SP_DEVINFO_DATA& element) {
        char id[kBuffer];
        std::memset(id, 'x', sizeof id);
        CHECK(plat::SetupDiGetDeviceInstanceIdA(set, &element, id, kBuffer, nullptr));
        CHECK(std::memchr(id, '\0', sizeof id) != nullptr);
        CHECK_EQ(Upper(devices.port), Upper(Text(id, sizeof id)));
        CHECK_EQ(0, std::strncmp(id, "ROOT\\", 5));

        // The size counts the NUL: one byte less is refused, and the size told.
        const DWORD length = static_cast<DWORD>(devices.port.size());
        DWORD required = 0;
        CHECK_FAILS(!plat::SetupDiGetDeviceInstanceIdA(set, &element, id, length, &required),
                    ERROR_INSUFFICIENT_BUFFER);
        CHECK_EQ(length + 1, required);
        CHECK(plat::SetupDiGetDeviceInstanceIdA(set, &element, id, length + 1, nullptr));
    });
}

void CheckInterfaceSets(const Devices& devices) {
    Section("present devices by interface (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)");
    // The GUID names an interface class: a System device exposing it is in, a
    // Ports device that does not is out.
    const Walk walk = WalkNewSet(&kComPortInterface);
    CHECK_EQ(ERROR_NO_MORE_ITEMS, walk.endError);
    CheckHeld(walk, {devices.port, devices.systemPort, devices.doomed},
              {devices.bare, devices.sizes, devices.singleId, devices.driver});
    // Its elements read like any other (port mapping reads hardware IDs from them).
    WithElement(&kComPortInterface, devices.port, [&](HDEVINFO set, SP_DEVINFO_DATA& element) {
        CHECK_READ(REG_MULTI_SZ, plat::MultiSzBytes(kPortIds), ReadProperty(set, &element, SPDRP_HARDWAREID));
    });
    // Without DIGCF_DEVICEINTERFACE the GUID names a setup class: the Ports
    // devices, whatever they expose, and no System device. The present
    // devices of every class hold them all.
    WithSet(&kPortsClass, DIGCF_PRESENT, [&](HDEVINFO ports) {
        const Walk walk = WalkSet(ports);
        CHECK_EQ(ERROR_NO_MORE_ITEMS, walk.endError);
        CheckHeld(walk, {devices.port, devices.bare}, {devices.systemPort, devices.singleId});
    });
    WithSet(nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT,
            [&](HDEVINFO present) { CheckHeld(WalkSet(present), devices.All()); });
    // No device exposes this one: a valid set that ends at once.
    WithSet(&kUnusedInterface, [&](HDEVINFO none) {
        SP_DEVINFO_DATA data = NewElement();
        CHECK_FAILS(!plat::SetupDiEnumDeviceInfo(none, 0, &data), ERROR_NO_MORE_ITEMS);
    });
}

void CheckFriendlyNameWrite(const Devices& devices) {
    Section("friendly name write");
    // As port renaming writes it: the name formatted into a larger buffer and
    // counted with its NUL; what follows the NUL in the buffer is not stored.
    char buffer[MAX_PATH];
    std::memset(buffer, '#', sizeof buffer);
    const char name[] = "Serial Port C(COM3)";
    std::memcpy(buffer, name, sizeof name);
    const DWORD count = static_cast<DWORD>(std::strlen(buffer) + 1);
    WithElement(&kComPortInterface, devices.port, [&](HDEVINFO set, SP_DEVINFO_DATA& element) {
        // Counted past its NUL, every byte given is stored.
        CHECK(WriteFriendlyName(set, &element, buffer, kBuffer));
        CHECK_EQ(std::string(buffer, kBuffer), ReadProperty(set, &element, SPDRP_FRIENDLYNAME).bytes);
        CHECK(WriteFriendlyName(set, &element, buffer, count));
        CHECK_READ(REG_SZ, Sz(name), ReadProperty(set, &element, SPDRP_FRIENDLYNAME));
    });
    // A set obtained afterwards sees it too.
    WithElement(devices.port, [&](HDEVINFO set, SP_DEVINFO_DATA& element) {
        const Read again = ReadProperty(set, &element, SPDRP_FRIENDLYNAME);
        CHECK_READ(REG_SZ, Sz(name), again);
        CHECK_EQ(count, again.required);
    });
}

// Opens the key, writes "PortName" and closes the key, by default as port
// renaming does (REG_SZ, counted with its NUL); checks the type stored and
// returns the bytes, read back with the key path and value name in capitals.
std::string WritePortName(Arrange& arrange, const std::string& path, const char* name, DWORD count = 0,
                          DWORD type = REG_SZ, const char* valueName = "PortName") {
    HKEY key = OpenKey(path);
    if (key == nullptr) return "<not written>";
    if (count == 0) count = static_cast<DWORD>(std::strlen(name) + 1);
    CHECK_EQ(ERROR_SUCCESS, plat::RegSetValueExA(key, valueName, 0, type, reinterpret_cast<const BYTE*>(name), count));
    CHECK_EQ(ERROR_SUCCESS, plat::RegCloseKey(key));
    DWORD stored = 0;
    std::string bytes;
    CHECK(arrange.QueryValue(Upper(path), "PORTNAME", &stored, &bytes));
    CHECK_EQ(type, stored);
    return bytes;
}

void CheckDeviceParameters(Arrange& arrange, const Devices& devices) {
    Section("registry: a device's \"Device Parameters\" key");
    // The path as port renaming forms it ("ENUM" in capitals).
    const std::string path = ParametersKey(devices.port);
    // Stored as given, with its NUL and nothing past it.
    CHECK_EQ(Sz("COM10"), WritePortName(arrange, path, "COM10"));
    // A value name in another case is the same value: its type and bytes are replaced.
    CHECK_EQ(std::string("\0A", 2), WritePortName(arrange, path, "\0A", 2, REG_BINARY, "portname"));
    // Counted without its NUL, a string is stored without one, unless the
    // byte after the count is a NUL: that one is taken in.
    CHECK_EQ(std::string("COM10"), WritePortName(arrange, path, "COM10X", 5));
    CHECK_EQ(Sz("COM10"), WritePortName(arrange, path, "COM10", 5));
    // A shorter name replaces a longer one whole.
    CHECK_EQ(Sz("COM3"), WritePortName(arrange, path, "COM3"));
    OpenKey(ParametersKey("ROOT\\ZANCONF_ABSENT\\0000"), ERROR_FILE_NOT_FOUND);
    // Read back as the check reads it: the bytes with their NUL and the
    // count; too small a buffer gets the size needed; a missing value is
    // ERROR_FILE_NOT_FOUND.
    if (HKEY read = OpenKey(path)) {
        char name[kBuffer] = {};
        DWORD type = REG_NONE, size = 0;
        const auto query = [&](const char* value, DWORD room) {
            size = room;
            return plat::RegQueryValueExA(read, value, nullptr, &type, reinterpret_cast<LPBYTE>(name), &size);
        };
        CHECK_EQ(ERROR_SUCCESS, query("PortName", kBuffer));
        CHECK_EQ(REG_SZ, type);
        CHECK_EQ(Sz("COM3"), std::string(name, size));
        CHECK_EQ(ERROR_MORE_DATA, query("PortName", 2));
        CHECK_EQ(5, size);
        CHECK_EQ(ERROR_FILE_NOT_FOUND, query("NoSuchValue", kBuffer));
        // Value names ignore case; so does the key's path, and each open is a handle of its own.
        CHECK_EQ(ERROR_SUCCESS, query("PORTNAME", kBuffer));
        HKEY upper = OpenKey(Upper(path));
        CHECK(upper != nullptr && upper != read);
        if (upper != nullptr) CHECK_EQ(ERROR_SUCCESS, plat::RegCloseKey(upper));
        CHECK_EQ(ERROR_SUCCESS, plat::RegCloseKey(read));
    }
    // A closed key is no key.
    HKEY key = OpenKey(path);
    CHECK_EQ(ERROR_SUCCESS, plat::RegCloseKey(key));
    CHECK_EQ(ERROR_INVALID_HANDLE, plat::RegCloseKey(key));
}

void CheckRemoval(Arrange& arrange, const Devices& devices) {
    Section("device removal");
    WithSet([&](HDEVINFO set) {
        const std::size_t before = WalkSet(set).ids.size();
        SP_DEVINFO_DATA element;
        DWORD index = 0;
        if (!CHECK(FindElement(set, devices.doomed, &element, &index))) return;
        CHECK(plat::SetupDiRemoveDevice(set, &element));

        // The element stays in its set at its place, but cannot be read any more.
        SP_DEVINFO_DATA again = NewElement();
        CHECK(plat::SetupDiEnumDeviceInfo(set, index, &again));
        CHECK_EQ(element.DevInst, again.DevInst);
        CHECK_FAILS(!ReadsLikeTheInstaller(set, &again, SPDRP_HARDWAREID), ERROR_NO_SUCH_DEVINST);
        CHECK_FAILS(InstanceId(set, &again) == "<unreadable>", ERROR_NO_SUCH_DEVINST);
        CHECK_FAILS(!WriteFriendlyName(set, &again, "x", 2), ERROR_NO_SUCH_DEVINST);
        CHECK_FAILS(!plat::SetupDiRemoveDevice(set, &again), ERROR_NO_SUCH_DEVINST);
        // Its install parameters, which tell whether a restart is needed, can be read still.
        SP_DEVINSTALL_PARAMS_A params = Sized<SP_DEVINSTALL_PARAMS_A>();
        CHECK_DOCUMENTED(arrange.AsWindowsDocuments(), "install parameters after the removal",
                         plat::SetupDiGetDeviceInstallParamsA(set, &again, &params), ERROR_SUCCESS);

        // The walk is as long as before: the removal search goes on past it.
        const Walk after = WalkSet(set);
        CHECK_EQ(before, after.ids.size());
        CHECK_EQ(ERROR_NO_MORE_ITEMS, after.endError);
        // Its neighbours are untouched.
        SP_DEVINFO_DATA other;
        if (CHECK(FindElement(set, devices.driver, &other))) {
            CHECK(ReadsLikeTheInstaller(set, &other, SPDRP_HARDWAREID));
        }
    });

    // Gone from sets obtained afterwards, and its hardware key with it; the
    // others keep theirs.
    const Walk all = WalkNewSet(), ports = WalkNewSet(&kComPortInterface);
    CheckHeld(all, {devices.driver}, {devices.doomed});
    CHECK_EQ(ERROR_NO_MORE_ITEMS, all.endError);
    CheckHeld(ports, {devices.port}, {devices.doomed});
    OpenKey(ParametersKey(devices.doomed), ERROR_FILE_NOT_FOUND);
    OpenKey(kEnum + devices.doomed, ERROR_FILE_NOT_FOUND);
    CHECK_EQ(ERROR_SUCCESS, plat::RegCloseKey(OpenKey(ParametersKey(devices.driver))));
}

// --- The log file and the run lock ---------------------------------------------------

// As the log is opened: an existing file, a link at its name not followed.
HANDLE OpenLog(const std::string& path, DWORD disposition = OPEN_EXISTING) {
    return plat::CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// As the OEM INF cleanup opens a file to read it.
HANDLE OpenToRead(const std::string& path, DWORD share = FILE_SHARE_READ) {
    return plat::CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// As the runner creates a marker: for writing, shared with no one, replacing one there.
HANDLE CreateMarker(const std::string& path) {
    return plat::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Write(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return plat::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// The whole file, read through a handle of its own in 256-byte reads until a
// successful read of nothing (the end of a file), the handle then closed; or
// what went wrong instead.
std::string ReadAll(const std::string& path, DWORD share = FILE_SHARE_READ) {
    HANDLE file = OpenToRead(path, share);
    if (!Valid(file)) return "<not opened>";
    std::string bytes;
    char chunk[256];
    DWORD got = 0;
    BOOL ok = FALSE;
    while ((ok = plat::ReadFile(file, chunk, sizeof chunk, &got, nullptr)) && got > 0 && bytes.size() < 100000) {
        bytes.append(chunk, got);
    }
    const bool closed = plat::CloseHandle(file) != FALSE;
    return !ok ? "<read failed>" : got != 0 ? "<no end>" : !closed ? "<not closed>" : bytes;
}

// As the log is opened: for appending, shared for reading and writing; a
// missing one is made with CREATE_NEW. Two runs append to one file; a reader
// that shares writing watches it grow, one that would deny it is refused.
void CheckLogFile(Arrange& arrange, const std::string& folder) {
    Section("log file: append and sharing");
    const std::string path = folder + "\\run.log";
    CHECK(arrange.PutFile(path, "earlier\r\n"));
    HANDLE first = OpenLog(path);
    if (!CHECK(Valid(first))) return;
    HANDLE second = OpenLog(path);
    if (CHECK(Valid(second))) {
        CHECK(Write(first, "one\r\n"));
        CHECK(Write(second, "two\r\n"));
        CHECK(Write(first, "three\r\n"));
        CHECK_EQ(std::string("earlier\r\none\r\ntwo\r\nthree\r\n"), ReadAll(path, FILE_SHARE_READ | FILE_SHARE_WRITE));
        CHECK(plat::CloseHandle(second));
    }
    CHECK_FAILS(OpenToRead(path) == INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
    char byte = 0;
    DWORD got = 0;
    CHECK_FAILS(!plat::ReadFile(first, &byte, 1, &got, nullptr), ERROR_ACCESS_DENIED);  // appending gives no reading
    CHECK(plat::FlushFileBuffers(first));
    CHECK(plat::CloseHandle(first));

    const std::string fresh = folder + "\\new.log";
    CHECK_FAILS(!Valid(OpenLog(fresh)), ERROR_FILE_NOT_FOUND);
    HANDLE made = OpenLog(fresh, CREATE_NEW);
    if (CHECK(Valid(made))) {
        CHECK(plat::CloseHandle(made));
        CHECK_EQ(std::string(), ReadAll(fresh));
    }
    // While another run holds the file with delete access, as it does while
    // it checks a log it has just made, the log is not shared.
    HANDLE checking = plat::CreateFileA(fresh.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (CHECK(Valid(checking))) {
        CHECK_FAILS(!Valid(OpenLog(fresh)), ERROR_SHARING_VIOLATION);
        CHECK(plat::CloseHandle(checking));
    }
    CHECK_FAILS(!Valid(OpenLog(fresh, CREATE_NEW)), ERROR_FILE_EXISTS);
    CHECK_FAILS(!Valid(OpenLog(folder + "\\absent\\run.log")), ERROR_PATH_NOT_FOUND);
    const std::string readOnly = folder + "\\read-only.log";
    CHECK(arrange.PutFile(readOnly, "kept\r\n", true));
    HANDLE refused = OpenLog(readOnly);
    CHECK_DOCUMENTED(arrange.AsWindowsDocuments(), "a read-only file opened for appending", Valid(refused),
                     ERROR_ACCESS_DENIED);
    if (Valid(refused)) plat::CloseHandle(refused);
    CHECK_EQ(std::string("kept\r\n"), ReadAll(readOnly));
}

// What the log's check reads through a handle opened as the log is: the
// attributes and link count, and the final path after every link; and that a
// link to nothing is never followed to create its target. Wine 8 follows a
// link even at the name itself; the check refuses either way.
std::string Final(HANDLE handle) {
    char path[MAX_PATH] = {};
    const DWORD length =
        plat::GetFinalPathNameByHandleA(handle, path, MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return length > 0 && length < MAX_PATH ? Upper(path) : "<" + std::to_string(plat::GetLastError()) + ">";
}

struct Looked {
    bool opened = false;
    DWORD attributes = 0;
    DWORD links = 0;
    std::string final;  // upper-cased
    bool Reparse() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

Looked Look(HANDLE handle) {
    Looked looked;
    BY_HANDLE_FILE_INFORMATION information = {};
    looked.opened = Valid(handle);
    if (!looked.opened) return looked;
    if (CHECK(plat::GetFileInformationByHandle(handle, &information))) {
        looked.attributes = information.dwFileAttributes;
        looked.links = information.nNumberOfLinks;
    }
    looked.final = Final(handle);
    CHECK(plat::CloseHandle(handle));
    return looked;
}

void CheckLogLinks(Arrange& arrange, const std::string& scratch) {
    Section("log file: links");
    const std::string folder = scratch + "\\links";
    const auto at = [&](const char* name) { return folder + "\\" + name; };
    const std::string dosFolder = "\\\\?\\" + Upper(folder);
    const bool themselves = arrange.AsWindowsDocuments();
    if (!CHECK(arrange.PutFolder(folder)) || !CHECK(arrange.PutFolder(at("target"))) ||
        !CHECK(arrange.PutFile(at("plain.log"), "")) || !CHECK(arrange.PutFile(at("keep1.ini"), "1")) ||
        !CHECK(arrange.PutFile(at("keep2.ini"), "2")) || !CHECK(arrange.PutFile(at("target\\existing.log"), "")) ||
        !CHECK(arrange.PutHardLink(at("hard.log"), at("keep1.ini"))) ||
        !CHECK(arrange.PutSymbolicLink(at("symbolic.log"), at("keep2.ini"))) ||
        !CHECK(arrange.PutSymbolicLink(at("nothing.log"), at("planted.dll"))) ||
        !CHECK(arrange.PutSymbolicLink(at("linked"), at("target")))) {
        return;
    }

    // A plain file: one name, its own path, asked for full and long.
    const Looked plain = Look(OpenLog(at("plain.log")));
    CHECK_EQ(1, plain.links);
    CHECK(!plain.Reparse());
    CHECK_EQ(dosFolder + "\\PLAIN.LOG", plain.final);
    char path[MAX_PATH] = {};
    CHECK_EQ(folder.size() + 10, plat::GetFullPathNameA(at(".\\plain.log").c_str(), MAX_PATH, path, nullptr));
    CHECK_EQ(at("plain.log"), std::string(path));
    CHECK_EQ(folder.size() + 10, plat::GetLongPathNameA(at("plain.log").c_str(), path, MAX_PATH));
    CHECK_EQ(Upper(at("plain.log")), Upper(path));
    CHECK_FAILS(plat::GetLongPathNameA(at("absent.log").c_str(), path, MAX_PATH) == 0, ERROR_FILE_NOT_FOUND);

    // A hard link: two names.
    CHECK_EQ(2, Look(OpenLog(at("hard.log"))).links);

    // A symbolic link to a file: the link itself, or (Wine) its target.
    const Looked symbolic = Look(OpenLog(at("symbolic.log")));
    CHECK(symbolic.opened);
    CHECK_EQ(themselves, symbolic.Reparse());
    CHECK_EQ(dosFolder + (themselves ? "\\SYMBOLIC.LOG" : "\\KEEP2.INI"), symbolic.final);

    // A link to nothing: opened as itself, or (Wine) no file; never created.
    CHECK_EQ(themselves, Look(OpenLog(at("nothing.log"))).opened);
    if (!themselves) CHECK_EQ(ERROR_FILE_NOT_FOUND, plat::GetLastError());
    CHECK_FAILS(!Valid(OpenLog(at("nothing.log"), CREATE_NEW)), ERROR_FILE_EXISTS);
    CHECK(!Exists(at("planted.dll")));

    // A linked folder: the folder as itself, or (Wine) its target; a file
    // through it leads to the target, and one made through it is removed
    // through its handle.
    const Looked linked = Look(plat::CreateFileA(at("linked").c_str(), FILE_READ_ATTRIBUTES, 7, nullptr, OPEN_EXISTING,
                                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    CHECK_EQ(themselves, linked.Reparse());
    CHECK_EQ(dosFolder + (themselves ? "\\LINKED" : "\\TARGET"), linked.final);
    CHECK_EQ(dosFolder + "\\TARGET\\EXISTING.LOG", Look(OpenLog(at("linked\\existing.log"))).final);
    HANDLE made = plat::CreateFileA(at("linked\\new.log").c_str(), DELETE | FILE_READ_ATTRIBUTES, 7, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (CHECK(Valid(made))) {
        CHECK_EQ(dosFolder + "\\TARGET\\NEW.LOG", Final(made));
        FILE_DISPOSITION_INFO remove = {TRUE};
        CHECK(plat::SetFileInformationByHandle(made, FileDispositionInfo, &remove, sizeof remove));
        CHECK(plat::CloseHandle(made));
    }
    CHECK(!Exists(at("target\\new.log")));
}

// The run lock: a named mutex belongs to the thread that waited for it,
// counts its recursion, refuses other threads, is abandoned by a thread that
// ends holding it, and goes with its last handle.
void CheckNamedMutex(Arrange& arrange) {
    Section("named mutex");
    // Opens the mutex, creating it when missing; the last error tells which
    // (ERROR_SUCCESS: made anew).
    const auto open = [](DWORD error) {
        HANDLE handle = plat::CreateMutexA(nullptr, FALSE, "Global\\ZanDriverInstaller.Conformance");
        if (CHECK(handle != nullptr)) CHECK_EQ(error, plat::GetLastError());
        return handle;
    };
    HANDLE mutex = open(ERROR_SUCCESS);
    if (mutex == nullptr) return;
    HANDLE again = open(ERROR_ALREADY_EXISTS);

    CHECK_EQ(WAIT_OBJECT_0, plat::WaitForSingleObject(mutex, 0));
    CHECK_EQ(WAIT_OBJECT_0, plat::WaitForSingleObject(again, 0));  // the owner again
    DWORD otherWait = 0, otherRelease = 0;
    BOOL released = TRUE;
    arrange.RunOnOtherThread([&] {
        otherWait = plat::WaitForSingleObject(again, 0);
        released = plat::ReleaseMutex(mutex);
        otherRelease = plat::GetLastError();
    });
    CHECK_EQ(WAIT_TIMEOUT, otherWait);
    CHECK(!released);
    CHECK_EQ(ERROR_NOT_OWNER, otherRelease);
    CHECK(plat::ReleaseMutex(mutex));
    CHECK(plat::ReleaseMutex(again));
    CHECK_FAILS(!plat::ReleaseMutex(mutex), ERROR_NOT_OWNER);

    // A thread that ends holding it leaves it abandoned: the next wait takes it.
    arrange.RunOnOtherThread([&] { otherWait = plat::WaitForSingleObject(again, 0); });
    CHECK_EQ(WAIT_OBJECT_0, otherWait);
    CHECK_EQ(WAIT_ABANDONED, plat::WaitForSingleObject(mutex, 0));
    CHECK(plat::ReleaseMutex(mutex));

    CHECK(plat::CloseHandle(mutex));
    CHECK(plat::CloseHandle(again));
    HANDLE fresh = open(ERROR_SUCCESS);
    if (fresh != nullptr) {
        CHECK_EQ(WAIT_OBJECT_0, plat::WaitForSingleObject(fresh, 0));
        CHECK(plat::CloseHandle(fresh));  // closed while owned: gone all the same
    }
    HANDLE last = open(ERROR_SUCCESS);
    if (last != nullptr) CHECK(plat::CloseHandle(last));
}

// Each line of the log carries these: the local time, which moves as the
// machine's clock does (the simulated one with Sleep), and the process's ID.
void CheckTimeAndProcess(Arrange& arrange) {
    Section("local time and process ID");
    const auto now = [&](const char* when) {
        SYSTEMTIME time;
        std::memset(&time, 0xFF, sizeof time);
        plat::GetLocalTime(&time);
        const long long expected = arrange.LocalTimeMs(), got = LocalMs(time);
        if (!CHECK(got >= expected - 100 && got <= expected + 100)) {
            Note(std::string(when) + ": local time off by " + std::to_string(got - expected) + " ms");
        }
        // The calendar's own day of the week (1970-01-01 was a Thursday).
        CHECK_EQ((got / 86400000 % 7 + 11) % 7, time.wDayOfWeek);
        CHECK(time.wMonth >= 1 && time.wMonth <= 12 && time.wDay >= 1 && time.wHour < 24 && time.wMinute < 60 &&
              time.wSecond < 60 && time.wMilliseconds < 1000);
        return got;
    };
    const long long before = now("before the sleep");
    plat::Sleep(300);
    const long long moved = now("after the sleep") - before;
    CHECK(moved >= 300 && moved < 10000);
    const DWORD process = arrange.ProcessId();
    CHECK_EQ(process, plat::GetCurrentProcessId());
}

// The process's state that the run sets: the last error, each thread's own;
// the error mode, which hands back the one before; WOW64 file system
// redirection, which a process of the system's own architecture has none of.
void CheckProcessState(Arrange& arrange) {
    Section("last error, error mode and redirection");
    plat::SetLastError(ERROR_INVALID_DATA);
    DWORD other = 0;
    arrange.RunOnOtherThread([&] {
        plat::SetLastError(ERROR_ACCESS_DENIED);
        other = plat::GetLastError();
    });
    CHECK_EQ(ERROR_ACCESS_DENIED, other);
    CHECK_EQ(ERROR_INVALID_DATA, plat::GetLastError());

    const UINT mode = SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX;
    const UINT was = plat::SetErrorMode(mode);
    CHECK_EQ(mode, plat::SetErrorMode(was));

    PVOID token = nullptr;
    CHECK_FAILS(!plat::Wow64DisableWow64FsRedirection(&token), ERROR_INVALID_FUNCTION);

    // The trace goes to the debugger output (test_conformance.sh finds this line under Wine).
    plat::OutputDebugStringA("zan conformance: debugger output\n");
    const std::string traced = arrange.LastDebuggerOutput();
    if (traced != "-") CHECK_EQ(std::string("zan conformance: debugger output\n"), traced);
}

// The wizard dismisser: a window found by its whole title in any case, its
// title read, brought to the foreground and sent keys.
void CheckWindows(Arrange& arrange) {
    Section("windows and keyboard input");
    const std::string title = "ZAN Conformance Window";
    HWND window = arrange.PutWindow(title);
    if (!CHECK(window != nullptr)) return;
    CHECK(window == plat::FindWindowExA(nullptr, nullptr, nullptr, "zan conformance WINDOW"));
    CHECK(nullptr == plat::FindWindowExA(nullptr, nullptr, nullptr, "ZAN Conformance"));
    char text[64];
    std::memset(text, 'x', sizeof text);
    CHECK_EQ(title.size(), plat::GetWindowTextA(window, text, sizeof text));
    CHECK_EQ(title, Text(text, sizeof text));
    CHECK_EQ(3, plat::GetWindowTextA(window, text, 4));  // cut short, with its NUL
    CHECK_EQ(std::string("ZAN"), Text(text, sizeof text));
    CHECK(plat::SetForegroundWindow(window));
    CHECK(window == plat::GetForegroundWindow());

    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    CHECK_FAILS(plat::SendInput(2, keys, static_cast<int>(sizeof(INPUT)) - 1) == 0, ERROR_INVALID_PARAMETER);
    CHECK_EQ(2, plat::SendInput(2, keys, static_cast<int>(sizeof(INPUT))));
}

// The operations of the one list (platform/operations.h) this suite does not
// call, each with the reason; every other one it must have called.
const char* const kNotCheckedHere[][2] = {
    {"MessageBoxA", "a box waits for a person"},
    {"Wow64RevertWow64FsRedirection", "only a 32-bit process on 64-bit Windows has redirection to turn back on"},
};

void CheckEveryOperationCalled(const Arrange& arrange) {
    Section("every operation called");
    if (arrange.Calls("GetLastError") < 0) {
        Note("calls are counted on the simulated machine only");
        return;
    }
    for (const std::string_view operation : plat::kOperations) {
        const std::string name(operation);
        const bool exempt = std::any_of(std::begin(kNotCheckedHere), std::end(kNotCheckedHere),
                                        [&](const auto& entry) { return name == entry[0]; });
        if (!exempt && !CHECK(arrange.Calls(name.c_str()) > 0)) Note("never called: " + name);
    }
}

// A null driver for the driver update target.
const char kDriverInf[] =
    "[Version]\r\nSignature=\"$WINDOWS NT$\"\r\nClass=System\r\nClassGuid={4D36E97D-E325-11CE-BFC1-08002BE10318}\r\n"
    "Provider=%ZAN%\r\nDriverVer=01/15/2024,1.0.0.1\r\n\r\n[Manufacturer]\r\n%ZAN%=ZAN,NTamd64,NTx86\r\n\r\n"
    "[ZAN.NTamd64]\r\n%Target%=Target_Install,ZANCONF\\DRIVER_UPDATE\r\n\r\n"
    "[ZAN.NTx86]\r\n%Target%=Target_Install,ZANCONF\\DRIVER_UPDATE\r\n\r\n"
    "[Target_Install]\r\n\r\n[Target_Install.Services]\r\nAddService=,2\r\n\r\n"
    "[Strings]\r\nZAN=\"ZAN\"\r\nTarget=\"ZAN Conformance Driver Target\"\r\n";

void CheckDriverUpdate(Arrange& arrange, const std::string& folder) {
    Section("driver update");
    const std::string inf = folder + "\\zanconf.inf";
    CHECK(arrange.PutFile(inf, kDriverInf));
    // As the installer calls it: no window, INSTALLFLAG_FORCE, no reboot output.
    const auto update = [](const char* id, const std::string& path) {
        return plat::UpdateDriverForPlugAndPlayDevicesA(nullptr, id, path.c_str(), INSTALLFLAG_FORCE, nullptr);
    };
    CHECK(update(kDriverId, inf));
    // Windows fails the update when no present device carries the ID or when
    // the INF file is missing, and the installer traces each cause.
    const bool documented = arrange.AsWindowsDocuments();
    CHECK_DOCUMENTED(documented, "no device with the ID (a piece of one)", update("ZANCONF\\DRIVER", inf),
                     ERROR_NO_SUCH_DEVINST);
    CHECK_DOCUMENTED(documented, "missing INF file", update(kDriverId, folder + "\\missing.inf"), ERROR_FILE_NOT_FOUND);
}

// The driver key as the check reads it: there, with the INF's name, once
// the update installed a driver; none for a device without a driver.
void CheckDriverKey(const Devices& devices) {
    Section("driver key (DIREG_DRV)");
    const auto open = [](HDEVINFO set, SP_DEVINFO_DATA& element) {
        return plat::SetupDiOpenDevRegKey(set, &element, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_QUERY_VALUE);
    };
    const HKEY none = reinterpret_cast<HKEY>(INVALID_HANDLE_VALUE);
    WithElement(devices.driver, [&](HDEVINFO set, SP_DEVINFO_DATA& element) {
        const HKEY key = open(set, element);
        if (!CHECK(key != none)) return;
        char inf[MAX_PATH] = {};
        DWORD type = REG_NONE, size = MAX_PATH;
        CHECK_EQ(ERROR_SUCCESS,
                 plat::RegQueryValueExA(key, "InfPath", nullptr, &type, reinterpret_cast<LPBYTE>(inf), &size));
        CHECK_EQ(REG_SZ, type);
        const std::string name = Upper(inf);
        CHECK(name.size() > 4 && name.compare(name.size() - 4, 4, ".INF") == 0);
        CHECK_EQ(ERROR_SUCCESS, plat::RegCloseKey(key));
    });
    WithElement(devices.bare, [&](HDEVINFO set, SP_DEVINFO_DATA& element) {
        CHECK_FAILS(open(set, element) == none, ERROR_KEY_DOES_NOT_EXIST);
    });
}

// The standard output as the check writes to it, and the duplicate the
// 32-bit program hands to the 64-bit one: this suite's output is a file or
// a pipe.
void CheckStandardOutput() {
    Section("standard output");
    const HANDLE output = plat::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!CHECK(output != nullptr && output != INVALID_HANDLE_VALUE)) return;
    const DWORD type = plat::GetFileType(output);
    CHECK(type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE);
    HANDLE duplicate = nullptr;
    if (!CHECK(plat::DuplicateHandle(plat::GetCurrentProcess(), output, plat::GetCurrentProcess(), &duplicate, 0,
                                     TRUE, DUPLICATE_SAME_ACCESS)))
        return;
    CHECK_EQ(type, plat::GetFileType(duplicate));
    const char line[] = "(a line written through a duplicate of the standard output)\r\n";
    DWORD written = 0;
    CHECK(plat::WriteFile(duplicate, line, sizeof line - 1, &written, nullptr));
    CHECK_EQ(sizeof line - 1, written);
    CHECK(plat::CloseHandle(duplicate));
}

// --- Files and folders -----------------------------------------------------------

// The names a search yields, sorted ignoring case (Windows gives NTFS order,
// Wine the host's directory order) and each followed by '|', which no name
// holds (none when the search did not start); and the error that ended it.
struct Search {
    DWORD error = ERROR_SUCCESS;  // FindFirstFileA's when it failed, else the last FindNextFileA's
    std::string names;
};

Search RunSearch(const std::string& pattern) {
    Search search;
    WIN32_FIND_DATAA found = {};
    HANDLE handle = plat::FindFirstFileA(pattern.c_str(), &found);
    if (handle == INVALID_HANDLE_VALUE) return {plat::GetLastError(), ""};
    std::vector<std::string> names;
    do {
        names.emplace_back(found.cFileName);
    } while (plat::FindNextFileA(handle, &found));
    search.error = plat::GetLastError();
    CHECK(plat::FindClose(handle));
    CHECK_FAILS(!plat::FindNextFileA(handle, &found), ERROR_INVALID_HANDLE);  // a search closed is no search
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
    for (const std::string& name : names) search.names += name + "|";
    return search;
}

void CheckFileSearch(Arrange& arrange, const std::string& folder) {
    Section("file search (OEM*.inf)");
    // Names the pattern must take whatever their case, and names it must leave.
    for (const char* name : {"oem1.inf", "OEM12.INF", "Oem2.inf", "oem3.pnf", "xoem4.inf", "oem5.txt"}) {
        CHECK(arrange.PutFile(folder + "\\" + name, std::string("; ") + name + "\r\n"));
    }
    CHECK(arrange.PutFolder(folder + "\\empty"));

    const Search all = RunSearch(folder + "\\OEM*.inf");
    CHECK(!all.names.empty());
    CHECK_EQ(ERROR_NO_MORE_FILES, all.error);
    CHECK_EQ(std::string("oem1.inf|OEM12.INF|Oem2.inf|"), all.names);
    // '?' stands for one character; a pattern nothing matches finds nothing.
    CHECK_EQ(std::string("oem3.pnf|"), RunSearch(folder + "\\OEM?.PNF").names);
    CHECK_FAILS(RunSearch(folder + "\\none*.inf").names.empty(), ERROR_FILE_NOT_FOUND);
    // Nothing found in an empty folder, nor in a missing one, each with its error.
    CHECK_FAILS(RunSearch(folder + "\\empty\\OEM*.inf").names.empty(), ERROR_FILE_NOT_FOUND);
    CHECK_FAILS(RunSearch(folder + "\\absent\\OEM*.inf").names.empty(), ERROR_PATH_NOT_FOUND);
}

void CheckFileDeletion(Arrange& arrange, const std::string& folder) {
    Section("file deletion");
    const auto remove = [&](const char* name) { return plat::DeleteFileA((folder + "\\" + name).c_str()); };
    CHECK(remove("OEM2.INF"));  // names ignore case
    CHECK_FAILS(!remove("Oem2.inf"), ERROR_FILE_NOT_FOUND);
    CHECK_EQ(std::string("oem1.inf|OEM12.INF|"), RunSearch(folder + "\\OEM*.inf").names);
    CHECK_FAILS(!remove("oem9.pnf"), ERROR_FILE_NOT_FOUND);
    CHECK_FAILS(!remove("absent\\oem9.inf"), ERROR_PATH_NOT_FOUND);
    CHECK_FAILS(!remove("empty"), ERROR_ACCESS_DENIED);  // a folder
    CHECK_FAILS(!remove(std::string(250, 'a').c_str()), ERROR_FILENAME_EXCED_RANGE);  // a path past MAX_PATH
    // A file open without delete sharing stays until it is closed.
    HANDLE open = OpenToRead(folder + "\\oem1.inf");
    if (CHECK(Valid(open))) {
        CHECK_FAILS(!remove("oem1.inf"), ERROR_SHARING_VIOLATION);
        CHECK(plat::CloseHandle(open));
        CHECK_FAILS(!plat::CloseHandle(open), ERROR_INVALID_HANDLE);  // a handle closed is no handle
    }
    CHECK(remove("oem1.inf"));
    CHECK(!Exists(folder + "\\oem1.inf"));
    // A read-only file is refused and stays.
    CHECK(arrange.PutFile(folder + "\\read-only.inf", "kept\r\n", true));
    CHECK_FAILS(!remove("READ-ONLY.INF"), ERROR_ACCESS_DENIED);
    CHECK(Exists(folder + "\\read-only.inf"));
}

void CheckFileReadAndCreate(Arrange& arrange, const std::string& folder) {
    Section("file open, read and create");
    // Every byte value, and more than one read's worth.
    std::string content;
    for (int i = 0; i < 700; ++i) content.push_back(static_cast<char>(i % 256));
    const std::string path = folder + "\\oem20.inf";
    CHECK(arrange.PutFile(path, content));
    CHECK_EQ(content, ReadAll(path));
    // A file put there is marked for archiving; a folder is a folder only.
    CHECK_EQ(FILE_ATTRIBUTE_ARCHIVE, plat::GetFileAttributesA(path.c_str()));
    CHECK_EQ(FILE_ATTRIBUTE_DIRECTORY, plat::GetFileAttributesA(folder.c_str()));
    CHECK_FAILS(OpenToRead(folder + "\\oem21.inf") == INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);

    const std::string marker = folder + "\\RESULT.SUCCESS";
    HANDLE created = CreateMarker(marker);
    if (CHECK(Valid(created))) {
        CHECK_EQ(ERROR_SUCCESS, plat::GetLastError());  // a new file
        CHECK_FAILS(OpenToRead(marker) == INVALID_HANDLE_VALUE, ERROR_SHARING_VIOLATION);
        CHECK(Write(created, "x"));
        CHECK(plat::CloseHandle(created));
    }
    CHECK_FAILS(!Valid(CreateMarker(folder + "\\absent\\RESULT.FAIL")), ERROR_PATH_NOT_FOUND);
    HANDLE replaced = CreateMarker(marker);
    if (CHECK(Valid(replaced))) {
        CHECK_EQ(ERROR_ALREADY_EXISTS, plat::GetLastError());
        CHECK(plat::CloseHandle(replaced));
    }
    CHECK_EQ(std::string(), ReadAll(marker));  // emptied by CREATE_ALWAYS
    CHECK(plat::DeleteFileA(marker.c_str()));
}

// The driver package removal as the OEM INF cleanup uses it: the published
// name, no flags, then its own deletions of the INF and the PNF, where a
// file the removal has already taken is no failure. Both systems must leave
// the same files behind.
void CheckDriverPackageRemoval(Arrange& arrange, const std::string& folder) {
    Section("driver package removal");
    CHECK_FAILS(!plat::SetupUninstallOEMInfA(nullptr, 0, nullptr), ERROR_INVALID_PARAMETER);

    // The Windows folder as plat:: gives it is checked in a group of its own.
    const std::string infFolder = arrange.WindowsFolder() + "\\inf\\";
    const auto pnfOf = [](std::string inf) { return inf.replace(inf.size() - 3, 3, "PNF"); };
    // Two packages, told apart by a comment, as a driver's setup publishes them.
    std::string names[2];
    for (int i = 0; i < 2; ++i) {
        const std::string source = folder + "\\package" + std::to_string(i) + ".inf";
        CHECK(arrange.PutFile(source, kDriverInf + std::string("; package ") + std::to_string(i) + "\r\n"));
        names[i] = arrange.PublishDriverPackage(source);
        if (!CHECK(!names[i].empty())) return;
        CHECK(Exists(infFolder + names[i]));
        CHECK(Exists(infFolder + pnfOf(names[i])));
    }
    // Where the removal deletes as Windows documents, the file is gone;
    // elsewhere what became of it is shown.
    const bool deletes = arrange.AsWindowsDocuments();
    const auto expectGone = [deletes](const std::string& path, const char* what) {
        if (!deletes) return Note(std::string("not asserted here: ") + what + (Exists(path) ? " stays" : " goes"));
        Record(!Exists(path), __FILE__, __LINE__, std::string(what) + " gone: " + path);
    };

    // Without flags, for a package no device uses: it succeeds.
    const std::string inf = infFolder + names[0], pnf = infFolder + pnfOf(names[0]);
    CHECK(plat::SetupUninstallOEMInfA(names[0].c_str(), 0, nullptr));
    expectGone(inf, "without flags, the INF");
    expectGone(pnf, "without flags, the PNF");
    for (const std::string& path : {inf, pnf}) {
        if (!plat::DeleteFileA(path.c_str())) CHECK_EQ(ERROR_FILE_NOT_FOUND, plat::GetLastError());
        CHECK_FAILS(!Exists(path), ERROR_FILE_NOT_FOUND);
    }

    // Forced, the published INF goes on both.
    const std::string forcedPnf = infFolder + pnfOf(names[1]);
    CHECK(plat::SetupUninstallOEMInfA(names[1].c_str(), SUOI_FORCEDELETE, nullptr));
    CHECK(!Exists(infFolder + names[1]));
    expectGone(forcedPnf, "forced, the PNF");
    plat::DeleteFileA(forcedPnf.c_str());

    CHECK_DOCUMENTED(deletes, "a name not in the store", plat::SetupUninstallOEMInfA("zanconf_absent.inf", 0, nullptr),
                     ERROR_FILE_NOT_FOUND);
}

void CheckWindowsFolder(Arrange& arrange) {
    Section("Windows folder");
    char windows[MAX_PATH], shell[MAX_PATH], small[3];
    std::memset(windows, 'x', sizeof windows);
    std::memset(shell, 'x', sizeof shell);
    const UINT length = plat::GetWindowsDirectoryA(windows, MAX_PATH);
    CHECK(length > 3);
    CHECK(length < MAX_PATH);
    CHECK_EQ(std::strlen(windows), length);
    CHECK_EQ(Upper(arrange.WindowsFolder()), Upper(windows));
    CHECK_EQ(S_OK, plat::SHGetFolderPathA(nullptr, CSIDL_WINDOWS, nullptr, 0, shell));
    CHECK_EQ(std::string(windows), Text(shell, sizeof shell));
    // Too small a buffer: the size needed, with the NUL.
    CHECK_EQ(length + 1, plat::GetWindowsDirectoryA(small, sizeof small));
}

// The hand-over of the 32-bit program on 64-bit Windows: the own path, a
// program started by its full path and its exit code, and how a start fails.
void CheckProgramStart(Arrange& arrange, const std::string& folder) {
    Section("program start");
    BOOL wow64 = TRUE;
    CHECK(plat::IsWow64Process(plat::GetCurrentProcess(), &wow64));
    CHECK(!wow64);  // the suite runs on a system of its own architecture

    char own[MAX_PATH], small[4];
    std::memset(own, 'x', sizeof own);
    const DWORD length = plat::GetModuleFileNameA(nullptr, own, MAX_PATH);
    CHECK(length > 3 && length < MAX_PATH);
    CHECK_EQ(std::strlen(own), length);
    CHECK(std::strchr(own, '\\') != nullptr);
    // Too small a buffer: the whole buffer's size, which tells a cut path.
    CHECK_EQ(sizeof small, plat::GetModuleFileNameA(nullptr, small, sizeof small));

    // Starts PATH --exit 7 with CreateProcessA as the hand-over calls it; the
    // error when it fails, else ERROR_SUCCESS with the handles in `started`.
    PROCESS_INFORMATION started = {};
    const auto start = [&](const std::string& path) -> DWORD {
        std::string commandLine = "\"" + path + "\" --exit 7";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        return plat::CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    &startup, &started)
                   ? ERROR_SUCCESS
                   : plat::GetLastError();
    };
    const std::string program = folder + "\\x64\\program.exe";
    CHECK_EQ(ERROR_PATH_NOT_FOUND, start(program));
    CHECK(arrange.PutFolder(folder + "\\x64"));
    CHECK_EQ(ERROR_FILE_NOT_FOUND, start(program));
    CHECK(arrange.PutFile(folder + "\\x64\\text.exe", "not a program\r\n"));
    CHECK_EQ(ERROR_BAD_EXE_FORMAT, start(folder + "\\x64\\text.exe"));

    if (!CHECK(arrange.PutProgram(program)) || !CHECK_EQ(ERROR_SUCCESS, start(program))) return;
    CHECK_EQ(WAIT_OBJECT_0, plat::WaitForSingleObject(started.hProcess, 60000));
    DWORD exitCode = 0;
    CHECK(plat::GetExitCodeProcess(started.hProcess, &exitCode));
    CHECK_EQ(7, exitCode);
    CHECK(plat::CloseHandle(started.hThread));
    CHECK(plat::CloseHandle(started.hProcess));
}

}  // namespace

int RunSuite(Arrange& arrange) {
    std::printf("platform conformance against %s\n", arrange.Describe().c_str());
    Section("arrange");
    Devices devices;
    const bool arranged = CHECK(ArrangeDevices(arrange, &devices));
    const std::string folder = arrange.ScratchFolder();
    const bool haveFolder = CHECK(!folder.empty());
    if (arranged) {
        CheckAllClassesSet(devices);
        CheckSizeFields(devices);
        CheckPropertyReads(devices);
        CheckInstanceIds(devices);
        CheckInterfaceSets(devices);
        CheckFriendlyNameWrite(devices);
        CheckDeviceParameters(arrange, devices);
        CheckRemoval(arrange, devices);
        if (haveFolder) {
            CheckDriverUpdate(arrange, folder);
            CheckDriverKey(devices);
        }
    }
    if (haveFolder) {
        CheckFileSearch(arrange, folder);
        CheckFileDeletion(arrange, folder);
        CheckFileReadAndCreate(arrange, folder);
        CheckDriverPackageRemoval(arrange, folder);
        CheckLogFile(arrange, folder);
        CheckLogLinks(arrange, folder);
        CheckProgramStart(arrange, folder);
    }
    CheckWindowsFolder(arrange);
    CheckNamedMutex(arrange);
    CheckTimeAndProcess(arrange);
    CheckProcessState(arrange);
    CheckWindows(arrange);
    CheckStandardOutput();
    CheckEveryOperationCalled(arrange);
    return Finish();
}

}  // namespace conformance
