// Giving the installed serial ports their fixed COM names.
#pragma once

// Maps every selected port row of the table, reporting each on the status
// board. A failed row does not stop the pass. Always true.
bool MapComPorts();

// Finds the port device by hardware ID among the present serial ports
// (FindPortDevice) and renames it. True when renamed and also when no such
// device is present; false when the search fails or renaming a found device
// fails.
bool AssignComPort(const char* hardwareId, const char* portName, const char* portLabel);
