// The exported VISA functions, declared from the shared list so every definition must match its
// standard prototype.
#pragma once

#include <trelvan/VisaFunctions.h>
#include "base/VisaConstants.h"

#define MIVISA_EXPORT __attribute__((visibility("default")))
#define MIVISA_DECLARE(R, Name, Args) extern "C" MIVISA_EXPORT R vi##Name Args;
TRELVAN_VISA_FUNCTIONS(MIVISA_DECLARE)
#undef MIVISA_DECLARE
