// Telling a simulated USB device from real hardware.
#pragma once

#include <trelvan/Records.h>

namespace cli {

// True when `d` is a device of the htra_api stand-in, which says so through its control API; false for
// hardware behind the vendor's library and for every VISA instrument.
bool isSimulated(const DeviceData& d);

}  // namespace cli
