// Finding a device in a device information set by one of its properties.
//
// device/ is the one floor that speaks to device setup (search, driver
// update, removal, port renaming, driver packages), over platform/ below;
// installer/ above calls it.
#pragma once

#include "platform/handles.h"

// Property values are read into a buffer of this size.
constexpr DWORD kPropertyBufferSize = 100;

// Walks `set` in order and copies the first device whose `property` matches
// `key` into *devInfoOut.
//  - SPDRP_HARDWAREID: a device matches when one of its IDs occurs within the
//    key, so a revision-less ID matches a key that carries a revision.
//  - SPDRP_DEVICEDESC: only a description equal to the key matches; the
//    removal pass searches every device of the system and must never take a
//    device whose description is merely a piece of a row's description.
// Empty values never match.
bool FindDevice(const char* key, DWORD property, PSP_DEVINFO_DATA devInfoOut, HDEVINFO set);

// The matching rule alone, for one value of a property.
bool DevicePropertyMatches(const char* key, const char* value, DWORD property);

// The sets the searches walk, as the system gives them; invalid when it
// cannot (a search of an invalid set traces the error and finds nothing).
// The present devices that expose the serial-port interface:
plat::DeviceInfoSet PresentComPortDevices();
// Every device the system knows, of every class, present or not:
plat::DeviceInfoSet AllDevices();
