// The run's choices, read once from the command-line argument text.
#pragma once

#include "installer/operation_choices.h"

#include <cstddef>
#include <string>
#include <vector>

// Operation selection by keyword, case-sensitive substrings: "UNINSTALL"
// first, since it contains "INSTALL".
Operation ChooseOperation(const std::string& keywordText);

// The worker's choices (the operation, "SILENT", "UNATTENDED", "BASE_DEVICE",
// "MAROVEL_SERIAL", "CHECK", which makes the run unattended), and the run's own.
struct RunOptions : OperationChoices {
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
