// The reading of the argument text on arbitrary bytes, against the rule as
// the README, docs/log-file.md and run_options.h state it, worked out here
// byte by byte:
//  - a /LOG= option starts where an argument starts (the start of the text,
//    or after a space or tab), as "/LOG=" in any case or as "\"/LOG=" (the
//    whole argument quoted);
//  - its path is quoted when the argument or the text after '=' opens with a
//    quote, and ends at the next quote (which goes with the option) or with
//    the text; unquoted it ends at the next space or tab;
//  - the last option names the log, its path without the quotes;
//  - keywords are case-sensitive substrings of the text the options leave;
//    "UNINSTALL" wins over "INSTALL", "UNATTENDED" is silent too.
#include "run/run_options.h"

#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Reading {
    std::string rest;  // the text without its options
    std::vector<LogOptionSpan> options;
};

bool Blank(char c) { return c == ' ' || c == '\t'; }

Reading Read(const std::string& text) {
    Reading reading;
    for (std::size_t i = 0; i < text.size();) {
        const bool argumentStart = i == 0 || Blank(text[i - 1]);
        const bool wholeQuoted = argumentStart && text[i] == '"';
        std::size_t at = wholeQuoted ? i + 1 : i;
        if (!argumentStart || text.size() - at < 5 || strncasecmp(text.c_str() + at, "/log=", 5) != 0) {
            reading.rest += text[i++];
            continue;
        }
        at += 5;
        const bool quoted = wholeQuoted || (at < text.size() && text[at] == '"');
        if (quoted && !wholeQuoted) ++at;
        LogOptionSpan option;
        option.begin = i;
        for (; at < text.size() && (quoted ? text[at] != '"' : !Blank(text[at])); ++at) option.path += text[at];
        option.end = quoted && at < text.size() ? at + 1 : at;
        reading.options.push_back(option);
        i = option.end;
    }
    return reading;
}

bool Has(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

Operation Chosen(const std::string& text) {
    return Has(text, "UNINSTALL") ? Operation::Uninstall : Has(text, "INSTALL") ? Operation::Install : Operation::None;
}

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Require(ChooseOperation(text) == Chosen(text));

    const Reading expected = Read(text);
    const std::vector<LogOptionSpan> spans = FindLogOptions(text);
    Require(spans.size() == expected.options.size());
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const LogOptionSpan& want = expected.options[i];
        Require(spans[i].begin == want.begin && spans[i].end == want.end && spans[i].path == want.path);
    }

    const RunOptions options = ParseRunOptions(text);
    const std::string& rest = expected.rest;
    Require(options.operation == Chosen(rest));
    Require(options.unattended == Has(rest, "UNATTENDED"));
    Require(options.silent == (Has(rest, "SILENT") || Has(rest, "UNATTENDED")));
    Require(options.installBase == Has(rest, "BASE_DEVICE"));
    Require(options.multiPort == Has(rest, "MAROVEL_SERIAL"));
    Require(options.logGiven == !expected.options.empty());
    Require(options.logPath == (expected.options.empty() ? std::string() : expected.options.back().path));
    return 0;
}
