// What the module's devices share: the library has one global connection, so every call into it goes
// through one lock, and only one instrument is open at a time.
#pragma once

#include <trelvan/Records.h>

#include <SoapySDR/Types.hpp>
#include <mutex>
#include <string>

namespace trelvan_soapy {

// Held around every call into the library, since its configuration calls and its acquisitions must
// not overlap.
std::mutex& libraryMutex();

// "PXA", "SK" or "Harogic": the backend the library chooses for this entry.
std::string backendOf(const DeviceData& device);

// The entry as find reports it.
SoapySDR::Kwargs describe(const DeviceData& device);

// Called by a device when it has disconnected, so that make may open another.
void instrumentClosed();

}  // namespace trelvan_soapy
