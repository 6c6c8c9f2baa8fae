// The binding itself is public; this adds what only the library uses.
#pragma once

#include <trelvan/DynamicVisa.h>

#include "base/VisaConstants.h"

// The name the library is asked for on this platform.
extern const char* const kVisaLibraryName;
