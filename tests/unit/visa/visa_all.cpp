// A loadable library that exports all 78 VISA names. Each status function answers 7 so that a test
// can tell a resolved slot from a stub.
#include <trelvan/VisaFunctions.h>
#include "base/VisaConstants.h"

namespace {
template <typename R>
R answer() {
    return 7;
}
template <>
void answer<void>() {}
}  // namespace

#define DEFINE_FN(R, Name, Args)                                        \
    extern "C" __attribute__((visibility("default"))) R vi##Name Args { \
        return answer<R>();                                             \
    }
TRELVAN_VISA_FUNCTIONS(DEFINE_FN)
