// The library's own timeouts, shortened through a VISA binding's slots so a fault shows quickly. The
// relaxed timeout stays far above every stall a test injects: it only turns a hang into a failure.
#pragma once

#include <trelvan/DynamicVisa.h>
#include "base/VisaConstants.h"

namespace support {

constexpr int kExchangeMs = 200;    // the 1000 ms of the SCPI exchanges and reads
constexpr int kSkMs = 300;          // the 2000 ms of the SK exchanges
constexpr int kSkLongMs = 1000;     // the 20000 ms of SK data replies and limits
constexpr int kOpenMs = 1000;       // the 5000 ms open timeout
constexpr int kRelaxedMs = 3000;    // the practically infinite relaxed timeout
constexpr int kDrainQuietMs = 200;  // the quiet time that ends a drain (unchanged)

// Wraps the binding's viSetAttribute and viOpen so the values above are applied.
void useQuickTimeouts(DynamicVisa& visa);

}  // namespace support
