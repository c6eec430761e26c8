// Finding a device in a device information set by one of its properties.
//
// device/ is the one floor that speaks to device setup (search, driver
// update, removal, port renaming, driver packages), over platform/ below;
// installer/ above calls it.
#pragma once

#include "platform/handles.h"

#include <string>

// Property values are read into a buffer of this size.
constexpr DWORD kPropertyBufferSize = 100;

// How a search ended. Only a walk that reached the end of its set can say
// that a device is not there.
enum class SearchResult {
    Found,     // a device matched: *devInfoOut holds it
    NotFound,  // every device of the set was looked at, and none matched
    Failed,    // the set could not be walked to its end, or a device's
               // property could not be read: a match may have been missed
};

// Walks `set` in order and copies the first device whose `property` matches
// `key` into *devInfoOut.
//  - SPDRP_HARDWAREID: a device matches when one of its IDs occurs within the
//    key, so a revision-less ID matches a key that carries a revision.
//  - SPDRP_DEVICEDESC: only a description equal to the key matches; the
//    removal pass searches every device of the system and must never take a
//    device whose description is merely a piece of a row's description.
// Empty values never match. A device without the property, with a value
// longer than the buffer, or removed through this set is passed over; any
// other failed read fails the search unless a later device matches.
// A walk that ends with another error than ERROR_NO_MORE_ITEMS, or a failed
// read, is traced "----> Abnormal Exit : GetLastError() = <code>h".
SearchResult FindDevice(const char* key, DWORD property, PSP_DEVINFO_DATA devInfoOut, HDEVINFO set);

// The matching rule alone, for one value of a property.
bool DevicePropertyMatches(const char* key, const char* value, DWORD property);

// The sets the searches walk, as the system gives them; invalid when it
// cannot (a search of an invalid set traces the error and fails).
// The present devices that expose the serial-port interface:
plat::DeviceInfoSet PresentComPortDevices();
// The present devices of the Ports setup class, whatever they expose:
plat::DeviceInfoSet PresentPortsClassDevices();
// Every present device, of every class:
plat::DeviceInfoSet PresentDevices();
// Every device the system knows, of every class, present or not:
plat::DeviceInfoSet AllDevices();

// A serial port by its hardware ID, among the present devices that expose
// the serial-port interface and, when none of those matches, among the
// present devices of the Ports class: the interface comes from a filter
// that not every port's driver stack loads. On Found, *set holds the set
// the device is in.
SearchResult FindPortDevice(const char* hardwareId, plat::DeviceInfoSet* set, PSP_DEVINFO_DATA devInfo);

// A value read from a device: there (with its text), not there, or not
// readable (with the error).
struct DeviceValue {
    enum State { Present, Absent, Unreadable };
    State state = Absent;
    std::string text;
    DWORD error = ERROR_SUCCESS;
};

// The device's friendly name (SPDRP_FRIENDLYNAME).
DeviceValue ReadFriendlyName(HDEVINFO set, PSP_DEVINFO_DATA devInfo);
