// The facade class is public (trelvan/Trelvan.h); its sources also see the backend interface, the
// Init record and the binding's internals.
#pragma once

#include <trelvan/Trelvan.h>

#include "facade/AnalyzerInterface.h"
#include "facade/Init.h"
#include "visa/DynamicVisa.h"
