// Nothing a backend throws (an allocation that failed, say) may reach the host: a call that throws answers
// what it answers with nothing connected, and the log says once what was thrown and from which entry point.
#pragma once

#include <exception>
#include <utility>

namespace trv::facade {
// Logs the exception being handled, thrown by the call behind `entryPoint`.
void logSwallowed(const char* entryPoint) noexcept;
}  // namespace trv::facade

template <class Call, class Fallback>
auto shielded(const char* entryPoint, Call&& call, Fallback&& fallback) -> decltype(call()) {
    try {
        return call();
    } catch (...) {
        trv::facade::logSwallowed(entryPoint);
        return fallback();
    }
}

template <class Call>
void shielded(const char* entryPoint, Call&& call) {
    try {
        call();
    } catch (...) {
        trv::facade::logSwallowed(entryPoint);
    }
}
