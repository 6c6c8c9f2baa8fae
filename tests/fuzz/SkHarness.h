// An SK backend over the fuzzed instrument. It is built unconnected (no start-up exchange) and then
// given the facade-side records, so the input drives only the exchange under test.
#pragma once

#include <memory>

#include "FuzzVisa.h"
#include "backends/sk/SK.h"

struct SkHarness {
    DynamicVisa visa{""};
    FuzzVisa instrument;
    ViStatus status = VI_SUCCESS;
    ViSession session = 8;
    ViSession resourceManager = 7;
    Params params{1e9, 1e7, 0};
    Error error;
    DeviceData device;
    std::unique_ptr<SK> sk{new SK()};

    SkHarness() {
        instrument.install(visa);
        sk->visa = &visa;
        sk->status = &status;
        sk->session = &session;
        sk->resourceManager = &resourceManager;
        sk->params = &params;
        sk->error = &error;
        sk->device = &device;
    }
};
