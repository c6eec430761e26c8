// The keyword choice on arbitrary command-line bytes: "UNINSTALL" anywhere
// wins, then "INSTALL", byte for byte; nothing else selects an operation.
// The reading of the whole text: the /LOG= options found are where an
// argument starts, in order and apart, and cutting them out never invents a
// keyword (nor loses one) that the text left around them does not hold.
#include "installer/operation_runner.h"
#include "run/run_options.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool Has(const std::string& text, const char* word) {
    const std::size_t n = std::strlen(word);
    for (std::size_t i = 0; i + n <= text.size(); ++i) {
        if (std::memcmp(text.data() + i, word, n) == 0) return true;
    }
    return false;
}

Operation Expected(const std::string& text) {
    return Has(text, "UNINSTALL") ? Operation::Uninstall : Has(text, "INSTALL") ? Operation::Install : Operation::None;
}

bool StartsLogOption(const std::string& text, std::size_t at) {
    if (at + 5 > text.size()) return false;
    const char* want = "/LOG=";
    for (std::size_t i = 0; i < 5; ++i) {
        char c = text[at + i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != want[i]) return false;
    }
    return true;
}

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string cmdLine(reinterpret_cast<const char*>(data), size);
    Require(ChooseOperation(cmdLine) == Expected(cmdLine));

    const std::vector<LogOptionSpan> spans = FindLogOptions(cmdLine);
    std::vector<std::string> pieces;  // the text around the options
    std::size_t kept = 0;
    for (const LogOptionSpan& span : spans) {
        Require(span.begin >= kept && span.begin < span.end && span.end <= cmdLine.size());
        Require(span.begin == 0 || cmdLine[span.begin - 1] == ' ' || cmdLine[span.begin - 1] == '\t');
        Require(StartsLogOption(cmdLine, span.begin) ||
                (cmdLine[span.begin] == '"' && StartsLogOption(cmdLine, span.begin + 1)));
        pieces.push_back(cmdLine.substr(kept, span.begin - kept));
        kept = span.end;
    }
    pieces.push_back(cmdLine.substr(kept));

    // Each keyword counts when one piece holds it whole.
    const auto inPieces = [&](const char* word) {
        for (const std::string& piece : pieces) {
            if (Has(piece, word)) return true;
        }
        return false;
    };
    const RunOptions options = ParseRunOptions(cmdLine);
    const Operation operation = inPieces("UNINSTALL") ? Operation::Uninstall
                                : inPieces("INSTALL") ? Operation::Install
                                                      : Operation::None;
    Require(options.operation == operation);
    Require(options.unattended == inPieces("UNATTENDED"));
    Require(options.silent == (inPieces("SILENT") || inPieces("UNATTENDED")));
    Require(options.installBase == inPieces("BASE_DEVICE"));
    Require(options.multiPort == inPieces("MAROVEL_SERIAL"));
    Require(options.logGiven == !spans.empty());
    Require(options.logPath == (spans.empty() ? std::string() : spans.back().path));
    return 0;
}
