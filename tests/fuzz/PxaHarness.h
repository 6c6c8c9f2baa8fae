// A PXA backend over the fuzzed instrument, with the facade-side records it borrows.
#pragma once

#include <cstring>

#include "FuzzVisa.h"
#include "backends/pxa/PXA.h"

struct PxaHarness {
    DynamicVisa visa{""};
    FuzzVisa instrument;
    ViStatus status = VI_SUCCESS;
    ViSession session = 8;
    ViSession resourceManager = 7;
    Params params{1e9, 1e7, 0};
    Error error;
    DeviceData device;

    PxaHarness() {
        instrument.install(visa);
        std::strcpy(device.address, "TCPIP0::127.0.0.1::5025::SOCKET");
    }
    Init init() { return Init{&visa, &status, &session, &resourceManager, &params, &error, &device}; }
};
