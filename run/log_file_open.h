// Opening the run's log without being led elsewhere by a link.
//
// The program runs elevated, and the log's folder may be one that another
// user made first and filled with links (any user may create folders below
// %ProgramData%). A log opened by its path alone would then append to, or
// create, whatever file the links lead to. So the log is written only through
// a handle that leads exactly where the path asked for.
#pragma once

#include "platform/handles.h"

#include <string>

// Opens the file at `path` for appending, shared for reading and writing,
// creating it when missing. The file is opened without following a link at
// its own name and kept only when, read through its handle, it is no link,
// has one name (no hard link elsewhere) and its final path is the path asked
// for (both made full and long, compared without regard to case). A missing
// file is created only with CREATE_NEW, once its folder passed the same check,
// and checked again through its handle; one that fails is removed again
// through that handle. A link that leads nowhere is never followed to create
// its target. Whatever stops it is traced in one line ("--> Log file "<path>"
// refused: ..." or "... could not be opened : GetLastError() = ...");
// then the returned file is invalid.
plat::File OpenLogFile(const std::string& path);

// Whether a handle's final path ("\\?\C:\logs\run.log", "\\?\UNC\server\share\run.log")
// names the full, long path asked for ("C:\logs\run.log", "\\server\share\run.log").
bool FinalPathIsAsked(const std::string& finalPath, const std::string& askedPath);
