// The uninstall operation.
#pragma once

#include <string>

// Removes the first device found for each row marked for removal, the OEM
// INF copies naming its hardware ID, and the row's own INF and PNF files.
// False at the first row whose search fails ("Removing <row>...[Failed]") or
// whose device cannot be removed; "Uninstall Complete!" and true otherwise,
// also when nothing was found. With `restartNeeded`, each
// removed device is asked whether the system needs a restart to finish, and
// one that does sets it.
bool RemoveInstalledDrivers(bool* restartNeeded = nullptr);

// The INF base name of a row: the first '.'-separated piece of `infName`,
// leading dots skipped. The name is cut in place at the '.' ending that
// piece. ".\1port\ZAN2kmf.inf" gives "\1port\ZAN2kmf" and becomes
// ".\1port\ZAN2kmf". Empty when the name holds nothing but dots.
std::string CutInfBaseName(char* infName);
