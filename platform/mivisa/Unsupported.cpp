// Every function of the VISA interface, answering "not supported". These are weak definitions: the
// functions this library implements are defined again elsewhere and those definitions win at link time,
// so the export table is complete whatever is implemented.
#include "Api.h"

namespace {
template <typename R>
R unsupported() {
    return VI_ERROR_NSUP_OPER;
}
// Peek and poke return nothing; they leave the caller's memory alone.
template <>
void unsupported<void>() {}
}  // namespace

#define MIVISA_UNSUPPORTED(R, Name, Args)              \
    extern "C" __attribute__((weak)) R vi##Name Args { \
        return unsupported<R>();                       \
    }
TRELVAN_VISA_FUNCTIONS(MIVISA_UNSUPPORTED)
#undef MIVISA_UNSUPPORTED
