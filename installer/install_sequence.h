// The install operation.
#pragma once

#include "installer/operation_choices.h"

// Settles the choices (from the command line in a silent run, from two
// questions otherwise), adjusts the table's install flags, installs every
// selected row in table order, then maps the ports. False at the first row
// whose driver cannot be installed; rows before it stay installed.
// With `restartNeeded`, each driver update is asked whether a restart is
// needed, and one that says so sets it.
bool InstallDrivers(const OperationChoices& options, bool* restartNeeded = nullptr);

// Sets the table's install flags for these choices: the base device's row
// to installBase; with multiPort the four-port card and Serial Ports D to F
// instead of the one-port card. The rows an install with these choices
// installs are then those with installFlag 1.
void ApplyInstallChoices(bool installBase, bool multiPort);

// Installs one row's driver from `infName` in the Windows INF folder.
bool InstallTiDevice(const char* infName, const char* hardwareId, bool* restartNeeded = nullptr);
