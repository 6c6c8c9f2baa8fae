// The seven records a backend works on, owned by the test the way the facade owns them, and the Init
// that points a backend at them.
#pragma once

#include <cstring>
#include <string>

#include <trelvan/DynamicVisa.h>
#include <trelvan/Records.h>
#include "base/VisaConstants.h"

namespace support {

struct Records {
    DynamicVisa visa{nullptr};
    ViStatus status = VI_SUCCESS;
    ViSession session = 7;
    ViSession resourceManager = 3;
    Params params{1e9, 1e7, 0};
    Error error;
    DeviceData device;

    explicit Records(const std::string& address = "TCPIP0::127.0.0.1::5025::SOCKET") {
        std::strncpy(device.address, address.c_str(), sizeof device.address - 1);
    }
    Init init() { return {&visa, &status, &session, &resourceManager, &params, &error, &device}; }
};

}  // namespace support
