// Removing a driver package from the system's driver store.
#pragma once

// Removes the package whose published OEM INF is `oemInfName` ("oem12.inf")
// from the driver store, with that INF and its PNF. Not forced: the system
// refuses while a device it knows still uses the package. The call and its
// result are traced; true when the system reports success.
bool UninstallDriverPackage(const char* oemInfName);
