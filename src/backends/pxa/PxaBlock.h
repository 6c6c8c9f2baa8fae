// The definite-length block in which the N9030A sends a capture: "#", one digit d, d digits giving the
// data length L, L data bytes, the line end. The data are float pairs, I then Q, least significant byte
// first (the "SWAP" byte order).
#pragma once

#include <trelvan/Records.h>

#include <string>

namespace trv::pxa {

// No capture comes near this (32 M samples); a larger length is a corrupt header, not a reason to
// allocate. The samples take twice the block's size, and a block cut short still gets all of them.
constexpr long long kMaxBlockBytes = 1LL << 28;
constexpr unsigned int kBytesPerSample = 8;
constexpr char kBlockEnd = '\n';

// The number of length digits announced by the block's first two bytes, or -1 when they cannot start a
// definite-length block (no "#", a non-digit, or 0, which announces an indefinite block).
int blockDigitCount(const std::string& lead);

// The data length from exactly `digitCount` decimal digits, or -1 when they are not that, or announce
// more than kMaxBlockBytes.
long long blockLength(const std::string& digits, int digitCount);

}  // namespace trv::pxa
