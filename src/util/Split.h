// split and QSplit are public.
#pragma once

#include <trelvan/Split.h>
