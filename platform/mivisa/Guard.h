// No C++ exception may cross the C interface into the host: an allocation or thread that fails becomes
// a status.
#pragma once

#include <new>

#include "Status.h"

namespace mivisa {

template <typename F>
ViStatus guarded(F&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return kErrorAlloc;
    } catch (...) {
        return kErrorSystem;
    }
}

}  // namespace mivisa
