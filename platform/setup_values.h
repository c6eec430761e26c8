// Device setup values as the system stores and names them: the setup classes
// of the card's devices, REG_MULTI_SZ bytes and the registry text of a GUID.
// Header-only and the same on both sides, so that the program, the simulated
// machine and the Windows-side test programs share one copy.
#pragma once

#include "platform.h"

#include <cstdio>
#include <string>
#include <vector>

namespace plat {

// Setup classes: the serial ports, the multifunction card, the base device.
inline constexpr GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
inline constexpr GUID kMultifunctionClass = {0x4D36E971, 0xE325, 0x11CE,
                                             {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
inline constexpr GUID kSystemClass = {0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// The serial-port device interface class the port search asks for: the Ports
// class's value.
inline constexpr const GUID& kComPortInterface = kPortsClass;

// REG_MULTI_SZ data: each string with its NUL, then the final empty string.
inline std::string MultiSzBytes(const std::vector<std::string>& strings) {
    std::string bytes;
    for (const std::string& text : strings) bytes.append(text).push_back('\0');
    bytes.push_back('\0');
    return bytes;
}

// "{4D36E978-E325-11CE-BFC1-08002BE10318}", as the registry names a class.
inline std::string GuidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

}  // namespace plat
