// Conversions of numbers that come from the instrument or the host into the integers the session
// works with: saturating, so no reported value can overflow a conversion or size a block without limit.
#pragma once

#include <cmath>
#include <limits>

#include "backends/sk/Sk.h"

namespace trv::sknum {

// Truncates toward zero into an int; NaN gives 0, values beyond the range the nearest limit.
inline int truncToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

// A block size in [0, kSkMaxBlockPoints], truncated.
inline int clampBlockPoints(double v) {
    if (!(v > 0)) return 0;
    if (v >= kSkMaxBlockPoints) return kSkMaxBlockPoints;
    return static_cast<int>(v);
}

// The smallest power of two not below v; 0 for anything not above 0.
inline double powerOfTwoAtLeast(double v) {
    if (!(v > 0)) return 0;
    return std::exp2(std::ceil(std::log2(v)));
}

}  // namespace trv::sknum
