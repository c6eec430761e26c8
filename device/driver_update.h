// Handing a hardware ID and an INF file to the platform's driver update.
#pragma once

// Installs the INF's driver on every present device with this hardware or
// compatible ID (forced, even over a better-ranked driver). Failures are
// traced with their cause. True when the platform reports success.
bool InstallDeviceDriver(const char* hardwareId, const char* infPath);
