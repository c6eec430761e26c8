// Device matching on arbitrary property bytes and types (values of 0 to 120
// bytes, lists without their final empty string, strings without their
// terminator), against the rule as device_search.h states it:
//  - a value is read into a buffer of kPropertyBufferSize bytes; one that does
//    not fit is not read and matches nothing;
//  - a string (REG_SZ) ends at its first NUL or with its bytes; a list
//    (REG_MULTI_SZ) is the strings between NULs up to the first empty one or
//    the end of its bytes; values of other types are never compared;
//  - a hardware ID matches when it occurs within the key, a description only
//    when equal to it; an empty string never matches.
#include "device/device_search.h"
#include "platform/handles.h"
#include "sim/machine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

const DWORD kTypes[] = {REG_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_EXPAND_SZ, REG_NONE};

bool Expected(const std::string& key, DWORD property, DWORD type, const std::string& bytes) {
    if (bytes.size() > kPropertyBufferSize || (type != REG_SZ && type != REG_MULTI_SZ)) return false;
    std::istringstream strings(bytes);
    for (std::string s; std::getline(strings, s, '\0') && !s.empty();) {
        if (property == SPDRP_HARDWAREID ? key.find(s) != std::string::npos : s == key) return true;
        if (type == REG_SZ) break;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    const DWORD type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
    const DWORD property = (data[1] & 1) ? SPDRP_HARDWAREID : SPDRP_DEVICEDESC;
    const std::size_t valueSize = data[2] % 121;
    data += 3;
    size -= 3;
    if (valueSize > size) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data), valueSize);
    // The key is a C string, as the table's keys are.
    const std::string key(std::string(reinterpret_cast<const char*>(data + valueSize), size - valueSize).c_str());

    // A fresh machine now and then keeps removed devices from piling up.
    static unsigned serial = 0;
    sim::Machine& machine = sim::TheMachine();
    if (serial % 4096 == 0) machine.Reset();
    machine.ClearTrace();
    sim::Device device;
    device.instanceId = "ROOT\\FUZZ\\" + std::to_string(serial++);
    device.properties[property] = sim::Value{type, bytes};
    machine.AddDevice(device);

    plat::DeviceInfoSet set(plat::SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    SP_DEVINFO_DATA found{};
    const bool matched = FindDevice(key.c_str(), property, &found, set.get()) == SearchResult::Found;
    if (matched != Expected(key, property, type, bytes)) std::abort();
    // Remove it again so every input starts from an empty machine.
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof element;
    if (!plat::SetupDiEnumDeviceInfo(set.get(), 0, &element) ||
        !plat::SetupDiRemoveDevice(set.get(), &element)) {
        std::abort();
    }
    return 0;
}
