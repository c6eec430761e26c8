// The keyword choice on arbitrary command-line bytes: "UNINSTALL" anywhere
// wins, then "INSTALL", byte for byte; nothing else selects an operation.
#include "installer/operation_runner.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool Has(const std::string& text, const char* word) {
    const std::size_t n = std::strlen(word);
    for (std::size_t i = 0; i + n <= text.size(); ++i) {
        if (std::memcmp(text.data() + i, word, n) == 0) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string cmdLine(reinterpret_cast<const char*>(data), size);
    const Operation expected = Has(cmdLine, "UNINSTALL") ? Operation::Uninstall
                               : Has(cmdLine, "INSTALL") ? Operation::Install
                                                         : Operation::None;
    if (ChooseOperation(cmdLine) != expected) std::abort();
    return 0;
}
