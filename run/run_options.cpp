#include "run/run_options.h"

namespace {

constexpr char kLogOption[] = "/LOG=";
constexpr std::size_t kLogOptionLength = sizeof kLogOption - 1;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// "/LOG=" in any case at `at`.
bool LogOptionAt(const std::string& text, std::size_t at) {
    if (text.size() - at < kLogOptionLength) return false;
    for (std::size_t i = 0; i < kLogOptionLength; ++i) {
        if (Upper(text[at + i]) != kLogOption[i]) return false;
    }
    return true;
}

bool Contains(const std::string& text, const char* word) { return text.find(word) != std::string::npos; }

}  // namespace

Operation ChooseOperation(const std::string& keywordText) {
    // "UNINSTALL" first: it contains "INSTALL".
    if (Contains(keywordText, "UNINSTALL")) return Operation::Uninstall;
    if (Contains(keywordText, "INSTALL")) return Operation::Install;
    return Operation::None;
}

std::vector<LogOptionSpan> FindLogOptions(const std::string& text) {
    std::vector<LogOptionSpan> spans;
    std::size_t at = 0;
    while (at < text.size()) {
        const bool argumentStart = at == 0 || IsBlank(text[at - 1]);
        const bool wholeQuoted = argumentStart && text[at] == '"' && LogOptionAt(text, at + 1);
        if (!argumentStart || !(wholeQuoted || LogOptionAt(text, at))) {
            ++at;
            continue;
        }
        LogOptionSpan span;
        span.begin = at;
        std::size_t value = at + (wholeQuoted ? 1 : 0) + kLogOptionLength;
        bool quoted = wholeQuoted;
        if (!quoted && value < text.size() && text[value] == '"') {
            quoted = true;
            ++value;
        }
        std::size_t end = value;
        while (end < text.size() && (quoted ? text[end] != '"' : !IsBlank(text[end]))) ++end;
        span.path = text.substr(value, end - value);
        span.end = quoted && end < text.size() ? end + 1 : end;  // the closing quote goes with it
        spans.push_back(span);
        at = span.end;
    }
    return spans;
}

RunOptions ParseRunOptions(const std::string& argumentText) {
    RunOptions options;
    // The keywords are looked for in what the /LOG= options leave: a log path
    // such as "C:\INSTALL logs\UNINSTALL.txt" must not choose the operation.
    std::string keywordText;
    std::size_t kept = 0;
    for (const LogOptionSpan& span : FindLogOptions(argumentText)) {
        keywordText.append(argumentText, kept, span.begin - kept);
        kept = span.end;
        options.logGiven = true;
        options.logPath = span.path;
    }
    keywordText.append(argumentText, kept, std::string::npos);

    options.operation = ChooseOperation(keywordText);
    options.check = Contains(keywordText, "CHECK");
    // A check shows no window and no box either: nobody need be there.
    options.unattended = options.check || Contains(keywordText, "UNATTENDED");
    options.silent = options.unattended || Contains(keywordText, "SILENT");
    options.installBase = Contains(keywordText, "BASE_DEVICE");
    options.multiPort = Contains(keywordText, "MAROVEL_SERIAL");
    return options;
}
