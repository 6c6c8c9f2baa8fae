// What the facade lends every backend it constructs: seven pointers at its own members.
#pragma once

#include <trelvan/Records.h>

#include "visa/VisaTypes.h"

class DynamicVisa;

struct Init {
    DynamicVisa* visa;
    ViStatus* status;
    ViSession* session;
    ViSession* resourceManager;
    Params* params;
    Error* error;
    DeviceData* device;
};

static_assert(sizeof(Init) == 7 * sizeof(void*), "Init is seven pointers");
