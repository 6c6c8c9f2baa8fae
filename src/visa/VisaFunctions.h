// The VISA function list lives with the public binding header.
#pragma once

#include <trelvan/VisaFunctions.h>

#include "base/VisaConstants.h"
