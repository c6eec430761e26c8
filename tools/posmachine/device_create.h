// Creating devices in the system's device database the way a device installer
// registers them: root-enumerated, with their hardware IDs and description,
// and for a serial port an enabled serial-port interface and a "Device
// Parameters" key. posmachine provisions the point-of-sale machine with it;
// the platform conformance suite arranges its devices with it. On Windows it
// needs an elevated prompt; meant for throwaway Wine prefixes.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

namespace pm {

struct NewDevice {
    std::string name;  // the instance ID is "ROOT\<name>\NNNN", the number generated
    GUID setupClass{};
    std::string description;  // SPDRP_DEVICEDESC (REG_SZ); none when empty
    // SPDRP_HARDWAREID as REG_MULTI_SZ, or with hardwareIdAsSz the first ID
    // alone as REG_SZ (the type a device's key may hold it with).
    std::vector<std::string> hardwareIds;
    bool hardwareIdAsSz = false;
    bool comPortInterface = false;  // exposes an enabled interface of the serial-port class
    bool parametersKey = false;     // a "Device Parameters" key below its hardware key
};

struct CreatedDevice {
    std::string instanceId;            // empty when the device could not be created
    const char* failedStep = nullptr;  // then: the step that failed
    DWORD error = ERROR_SUCCESS;       // and the last error it left
};

CreatedDevice CreateRootDevice(const NewDevice& device);

}  // namespace pm
