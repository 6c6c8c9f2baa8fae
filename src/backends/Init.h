// What the facade lends every backend it constructs: the Init record, published with the others.
#pragma once

#include <trelvan/Records.h>

#include "base/VisaConstants.h"
