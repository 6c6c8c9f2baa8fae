// What find and make share with the devices.
#pragma once

#include <trelvan/Records.h>

#include <SoapySDR/Types.hpp>

namespace trelvan_soapy {

// The entry as find reports it.
SoapySDR::Kwargs describe(const DeviceData& device);

// Called by a device as it closes: find lists it, busy, while it is open, since a USB device that is
// open is not enumerated.
void deviceClosed(const DeviceData& device);

}  // namespace trelvan_soapy
