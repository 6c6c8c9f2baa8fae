// Captures of a definite-length block ("#", digit count, length, data) that is cut short still yield
// every value the header announced, as zeros, at a cost in proportion to the claim. Claims between
// what an input can carry and the capture's limit are skipped: repeating them would starve the search
// without reaching new code. Claims past the limit still run, since they must be refused, and cheaply.
#pragma once

#include <cstdlib>
#include <string>

// The largest block the captures accept.
constexpr long long kCaptureLimit = 1LL << 28;

inline bool affordableClaim(const std::string& stream) {
    if (stream.size() < 2 || stream[0] != '#' || stream[1] < '1' || stream[1] > '9') return true;
    const std::string digits = stream.substr(2, static_cast<size_t>(stream[1] - '0'));
    const long long claim = std::strtoll(digits.c_str(), nullptr, 10);
    return claim <= static_cast<long long>(64 * (stream.size() + 1024)) || claim > kCaptureLimit;
}
