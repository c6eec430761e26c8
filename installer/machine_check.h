// Whether the machine is as an install (or an uninstall) leaves it, read
// without changing anything: for deployment systems that must know before
// they act, and for a technician before touching a till.
#pragma once

#include "installer/operation_choices.h"

#include <string>

enum class CheckVerdict {
    AsLeft,   // every item is as the operation leaves it
    Differs,  // at least one item is not, and every item could be read
    Unread,   // at least one item could not be read: nothing can be said of it
};

struct MachineCheck {
    CheckVerdict verdict = CheckVerdict::AsLeft;
    // One line for a detection script: what is installed (or removed), or
    // what differs, or what could not be read.
    std::string summary;
};

// Uninstall: checks that no device, present or not, carries the description
// of a row marked for removal, and that no OEM INF copy names such a row's
// hardware ID. Otherwise (an install, or no operation): checks, for each row
// an install with these choices installs (the base device and card choices
// count as in a silent run), that a present device with its hardware ID has
// a driver, and for each port row that the port's "PortName" and friendly
// name are those the port mapping writes. Each item is traced in one line
// ("--> Check <item>: expected ...; found ... [OK]", "[Differs]" or
// "[Not read]"), then the verdict. Reads only: no driver update, removal,
// registry write or file change. Uses the device table's install flags.
MachineCheck CheckMachine(const OperationChoices& choices);
