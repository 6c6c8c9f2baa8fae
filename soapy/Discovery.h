// What find and make share with the devices.
#pragma once

#include <trelvan/Records.h>

#include <SoapySDR/Types.hpp>

namespace trelvan_soapy {

// The entry as find reports it.
SoapySDR::Kwargs describe(const DeviceData& device);

}  // namespace trelvan_soapy
