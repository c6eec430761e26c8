// posmachine: the simulated point-of-sale machine's helper. See posmachine.h.
#include "posmachine.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

namespace pm {

static void EscapeUnit(unsigned value, std::string& out) {
    char buf[8];
    if (value == 0) {
        out += "\\0";
    } else if (value == '"' || value == '\\') {
        out += '\\';
        out += static_cast<char>(value);
    } else if (value >= 0x20 && value < 0x7F) {
        out += static_cast<char>(value);
    } else if (value < 0x100) {
        std::snprintf(buf, sizeof(buf), "\\x%02X", value);
        out += buf;
    } else {
        std::snprintf(buf, sizeof(buf), "\\u%04X", value);
        out += buf;
    }
}

std::string EscapeBytes(const void* data, size_t size) {
    std::string out;
    auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) EscapeUnit(bytes[i], out);
    return out;
}

std::string EscapeWide(const wchar_t* data, size_t count) {
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        unsigned value = static_cast<unsigned short>(data[i]);
        // A NUL in the 0x01..0xFF range would read as a byte escape; keep wide ones apart.
        if (value >= 0x7F && value < 0x100) {
            char buf[8];
            std::snprintf(buf, sizeof(buf), "\\u%04X", value);
            out += buf;
        } else {
            EscapeUnit(value, out);
        }
    }
    return out;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace pm

int main(int argc, char** argv) {
    struct Command {
        const char* name;
        int (*run)(const std::vector<std::string>&);
    };
    static const Command kCommands[] = {
        {"create", pm::CmdCreate}, {"dump", pm::CmdDump},   {"find", pm::CmdFind},
        {"update", pm::CmdUpdate}, {"watch", pm::CmdWatch},
    };
    // Plain "\n" line ends, as the shell scripts that read the output expect.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc >= 2) {
        std::vector<std::string> args(argv + 2, argv + argc);
        for (const auto& c : kCommands)
            if (std::strcmp(argv[1], c.name) == 0) return c.run(args);
    }
    std::fprintf(stderr,
                 "usage: posmachine create <profile>... | dump | find <ports|all> | update <hwid> <inf> |\n"
                 "       watch [--timeout S] [--hold MS] [--every MS] [--answer CAPTION=yes|no|ok]...\n"
                 "profiles: full4 full1 nobase empty; add-ons: decoys card2\n");
    return 2;
}
