// What the facade's sources see beside the public class (trelvan/Trelvan.h): the backend contract and
// the VISA values the facade tests the status word against.
#pragma once

#include <trelvan/DynamicVisa.h>
#include <trelvan/Records.h>
#include <trelvan/Trelvan.h>

#include "backends/AnalyzerInterface.h"
#include "base/VisaConstants.h"
