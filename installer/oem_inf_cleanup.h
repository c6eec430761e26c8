// Deleting the system's OEM copies of a removed device's INF files.
#pragma once

#include <cstddef>
#include <string>

// Deletes every "OEM*.inf" in the Windows INF folder that has a line holding
// `key`, with its ".pnf" companion, having first asked the system to remove
// the driver package it belongs to from the driver store. Problems are traced
// and passed over.
void RemoveOemInfFiles(const char* key);

// True when some line of the file at `path` holds `key` (byte comparison).
// A file that cannot be opened or read gives false.
bool OemInfContainsKey(const char* key, const char* path);

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
