// The facade class is public (trelvan/Trelvan.h); its sources also see the backend interface, the
// Init record and the binding's internals.
#pragma once

#include <trelvan/Trelvan.h>

#include "backends/AnalyzerInterface.h"
#include "backends/Init.h"
#include "visa/DynamicVisa.h"
