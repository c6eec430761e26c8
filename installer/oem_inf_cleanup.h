// Deleting the system's OEM copies of a removed device's INF files.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Deletes every "OEM*.inf" in the Windows INF folder that has a line holding
// `key`, with its ".pnf" companion, having first asked the system to remove
// the driver package it belongs to from the driver store. Problems are traced
// and passed over.
void RemoveOemInfFiles(const char* key);

// True when some line of the file at `path` holds `key` (byte comparison).
// A file that cannot be opened or read gives false.
bool OemInfContainsKey(const char* key, const char* path);

// Whether the file at `path` has a line holding `key`, or could not be read
// to the end of it ("--> Error opening file", "--> Error reading file").
enum class OemInfScan { Holds, Lacks, Unread };
OemInfScan ScanOemInf(const char* key, const char* path);

// The walk over the OEM copies the cleanup makes, for the cleanup and for
// the check of an uninstalled machine: the Windows folder asked of the
// shell, every "OEM*.inf" of its INF folder scanned, and `naming` called
// with the full path and the name of each copy that has a line holding
// `key`. Traced as the cleanup traces it. What it could not look at:
struct OemInfWalk {
    // False when the folder could not be searched to its end (no Windows
    // folder, a search that failed; traced with its code).
    bool searched = true;
    // The copies that could not be read, or whose path would have been cut.
    std::vector<std::string> unread;
};
using OemInfVisitor = std::function<void(const char* fullPath, const char* fileName)>;
OemInfWalk VisitOemInfCopies(const char* key, const OemInfVisitor& naming);

// Looks for a key within single lines of a byte stream fed in pieces: a
// key split by a '\n' is not found. Keeps at most the key's length of carry,
// so lines of any length cost no memory.
class InfLineScanner {
public:
    explicit InfLineScanner(std::string key);
    // Feeds the next bytes; true once the key has been seen in a line.
    bool Feed(const char* data, std::size_t size);
    bool found() const { return found_; }

private:
    std::string key_;
    std::string carry_;  // the end of the current line, shorter than the key
    bool found_ = false;
};
