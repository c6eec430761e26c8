// OEM INF line scan on arbitrary file bytes: the streaming scanner must agree
// with a plain line-by-line search whatever the chunking, and stay in bounds.
#include "installer/oem_inf_cleanup.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool ReferenceContains(const std::string& key, const std::string& text) {
    if (key.empty()) return false;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (text.substr(start, end - start).find(key) != std::string::npos) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // First byte: key length (0..63) taken from the next bytes; second: chunk size.
    if (size < 2) return 0;
    const std::size_t keyLength = data[0] % 64;
    const std::size_t chunk = 1 + data[1];
    data += 2;
    size -= 2;
    if (keyLength > size) return 0;
    const std::string key(reinterpret_cast<const char*>(data), keyLength);
    const std::string text(reinterpret_cast<const char*>(data + keyLength), size - keyLength);

    InfLineScanner scanner(key);
    bool found = false;
    for (std::size_t at = 0; at < text.size() && !found; at += chunk) {
        const std::size_t n = text.size() - at < chunk ? text.size() - at : chunk;
        found = scanner.Feed(text.data() + at, n);
    }
    if (found != ReferenceContains(key, text)) std::abort();
    return 0;
}
