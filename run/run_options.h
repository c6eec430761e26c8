// The run's choices, read once from the command-line argument text.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Operation selection by keyword, case-sensitive substrings: "UNINSTALL"
// first, since it contains "INSTALL".
enum class Operation { None, Install, Uninstall };
Operation ChooseOperation(const std::string& keywordText);

struct RunOptions {
    Operation operation = Operation::None;
    // The choices come from the command line, not from two questions:
    // "SILENT" or "UNATTENDED".
    bool silent = false;
    // "UNATTENDED": no message box of any kind, the restart need is collected
    // and reported through the exit code.
    bool unattended = false;
    // "BASE_DEVICE" and "MAROVEL_SERIAL"; they count only in a silent run.
    bool installBase = false;
    bool multiPort = false;
    // "/LOG=<path>": the last one given names the log; the path is empty
    // when nothing follows the '='.
    bool logGiven = false;
    std::string logPath;
};

// Reads the argument text. Keywords are case-sensitive substrings found
// anywhere, but not inside a /LOG= option: those are cut out first.
RunOptions ParseRunOptions(const std::string& argumentText);

// Where each /LOG= option lies in the argument text, [begin, end), in order.
// An option starts where an argument starts (the start of the text, or after
// a space or tab), as "/LOG=" in any case or as "\"/LOG=" (the whole
// argument quoted). A quoted path (/LOG="C:\a b\x.log" or "/LOG=C:\a b\x.log")
// ends at its closing quote, or with the text when there is none; an unquoted
// one at the next space or tab.
struct LogOptionSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string path;  // without its quotes
};
std::vector<LogOptionSpan> FindLogOptions(const std::string& argumentText);
