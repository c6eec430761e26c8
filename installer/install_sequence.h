// The install operation.
#pragma once

#include <string>

// Settles the choices (from the command line when it holds "SILENT", from two
// questions otherwise), adjusts the table's install flags, installs every
// selected row in table order, then maps the ports. False at the first row
// whose driver cannot be installed; rows before it stay installed.
bool InstallDrivers(const std::string& cmdLine);

// Installs one row's driver from `infName` in the Windows INF folder.
bool InstallTiDevice(const char* infName, const char* hardwareId);
