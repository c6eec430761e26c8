// Handing a hardware ID and an INF file to the platform's driver update.
#pragma once

// Installs the INF's driver on every present device with this hardware or
// compatible ID (forced, even over a better-ranked driver). Failures are
// traced with their cause. True when the platform reports success.
//
// Without `restartNeeded` the update is asked nothing about a restart, and
// the system puts up its own restart prompt when one is needed. With it the
// update tells, and a restart it asks for is traced and sets *restartNeeded
// (left as it is otherwise).
bool InstallDeviceDriver(const char* hardwareId, const char* infPath, bool* restartNeeded = nullptr);
