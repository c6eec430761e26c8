#include "tests/conformance/check.h"

#include <cstdio>

namespace conformance {
namespace {

int g_passed = 0;
int g_failed = 0;
std::string g_section = "(none)";

}  // namespace

void Section(const char* name) {
    g_section = name;
    std::printf("== %s\n", name);
    std::fflush(stdout);
}

bool Record(bool ok, const char* file, int line, const std::string& what) {
    if (ok) {
        ++g_passed;
    } else {
        ++g_failed;
        std::printf("%s:%d: FAILED [%s] %s\n", file, line, g_section.c_str(), what.c_str());
        std::fflush(stdout);
    }
    return ok;
}

void Note(const std::string& text) {
    std::printf("   %s\n", text.c_str());
    std::fflush(stdout);
}

int Finish() {
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    std::fflush(stdout);
    return (g_failed == 0 && g_passed > 0) ? 0 : 1;
}

std::string Describe(long long value) {
    char text[64];
    std::snprintf(text, sizeof text, "%lld (0x%08llX)", value, static_cast<unsigned long long>(value) & 0xFFFFFFFFull);
    return text;
}

std::string Describe(const std::string& value) {
    std::string text = "\"";
    for (unsigned char c : value) {
        char shown[8] = {static_cast<char>(c)};
        if (c == '\\' || c == '"') std::snprintf(shown, sizeof shown, "\\%c", c);
        if (c == 0) std::snprintf(shown, sizeof shown, "\\0");
        if ((c > 0 && c < 0x20) || c >= 0x7F) std::snprintf(shown, sizeof shown, "\\x%02X", c);
        text += shown;
    }
    return text + "\" (" + std::to_string(value.size()) + " bytes)";
}

}  // namespace conformance
