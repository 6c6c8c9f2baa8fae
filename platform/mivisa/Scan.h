// The read side of formatted I/O: one reply line taken apart by a scanf-style format.
#pragma once

#include <string>

#include "Args.h"
#include "base/VisaConstants.h"

namespace mivisa {

// VI_ERROR_NSUP_OPER unless every directive is one of: %T %t (the line, line feed included), %s, %c,
// %d %i %u (h, l, ll), %f %e %g (l), %%, each with an optional width and '*' to skip storing.
ViStatus checkScanFormat(const char* format);

// The most a directive without a width can store, and so the longest line kept for parsing.
constexpr size_t kMaxLine = 16u << 20;

// Applies a checked format to one line. A width bounds every string stored (the NUL comes on top).
// VI_ERROR_INV_FMT when the line does not fit the format; later arguments are then left alone.
ViStatus scanLine(const char* format, const std::string& line, Args& args);

}  // namespace mivisa
