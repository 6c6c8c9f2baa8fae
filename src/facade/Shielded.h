// Nothing a backend throws (an allocation that failed, say) may reach the host: a call that throws
// answers what it answers with nothing connected.
#pragma once

#include <utility>

template <class Call, class Fallback>
auto shielded(Call&& call, Fallback&& fallback) -> decltype(call()) {
    try {
        return call();
    } catch (...) {
        return fallback();
    }
}

template <class Call>
void shielded(Call&& call) {
    try {
        call();
    } catch (...) {
    }
}
