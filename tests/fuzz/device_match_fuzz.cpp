// Device matching on arbitrary property bytes and types: values of 0 to 120
// bytes, lists without their final empty string, strings without terminator.
// A device is returned only when one of its strings, as the platform hands
// them over in the 100-byte buffer, matches the key by the search's rule.
#include "device/device_search.h"
#include "platform/handles.h"
#include "sim/machine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD kTypes[] = {REG_SZ, REG_MULTI_SZ, REG_BINARY, REG_DWORD, REG_EXPAND_SZ, REG_NONE};

// The strings a value holds as the search sees them.
std::vector<std::string> Strings(DWORD type, const std::string& bytes) {
    std::vector<std::string> strings;
    if (bytes.size() > kPropertyBufferSize) return strings;  // the read fails
    const std::string value = bytes + std::string(2, '\0');
    if (type == REG_SZ) {
        strings.emplace_back(value.c_str());
    } else if (type == REG_MULTI_SZ) {
        for (std::size_t at = 0; at < bytes.size() && value[at] != '\0';) {
            strings.emplace_back(value.c_str() + at);
            at += strings.back().size() + 1;
        }
    }
    return strings;
}

bool Expected(const std::string& key, DWORD property, DWORD type, const std::string& bytes) {
    for (const std::string& s : Strings(type, bytes)) {
        if (s.empty()) continue;
        if (property == SPDRP_DEVICEDESC ? s == key : key.find(s) != std::string::npos) return true;
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
    const bool matched = FindDevice(key.c_str(), property, &found, set.get());
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
