// The write side of formatted I/O: printf-style text with the directives instruments need.
#pragma once

#include <string>

#include "Args.h"
#include "base/VisaConstants.h"

namespace mivisa {

// Literal text, %%, %s, %c, %d/%i/%u (h, l, ll), %f/%e/%g, with flags, width and precision ('*' too).
// VI_ERROR_NSUP_OPER for any other directive, and for text beyond 16 MiB (a width or precision
// above that included); `out` is then incomplete and must not be sent.
ViStatus formatText(const char* format, Args& args, std::string& out);

}  // namespace mivisa
