// What the fuzz targets share: an input split into the pieces a target needs, a check that stops the
// fuzzer, and a scripted instrument whose manners one control byte sets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/ScriptedVisa.h"

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : m_p(data), m_left(size) {}
    uint8_t byte() {
        if (m_left == 0) return 0;
        --m_left;
        return *m_p++;
    }
    uint16_t u16() { return static_cast<uint16_t>(byte() | byte() << 8); }
    uint32_t u32() { return u16() | uint32_t(u16()) << 16; }
    // Up to the next '\n' (dropped), or the rest.
    std::string line() {
        const void* end = std::memchr(m_p, '\n', m_left);
        const size_t n = end ? static_cast<size_t>(static_cast<const uint8_t*>(end) - m_p) : m_left;
        std::string s(reinterpret_cast<const char*>(m_p), n);
        take(end ? n + 1 : n);
        return s;
    }
    std::string rest() {
        std::string s(reinterpret_cast<const char*>(m_p), m_left);
        take(m_left);
        return s;
    }
    bool empty() const { return m_left == 0; }

private:
    void take(size_t n) {
        m_p += n;
        m_left -= n;
    }
    const uint8_t* m_p;
    size_t m_left;
};

inline void check(bool ok) {
    if (!ok) __builtin_trap();
}

// The link's manners: bit 0 VI_SUCCESS_MAX_CNT on full reads, bit 1 a dry stream is a lost connection
// rather than a timeout, bits 2-4 the read cap, bit 5 "*OPC?" answers come from the replies too, bit 6 a
// capped read is a short VI_SUCCESS rather than a stall.
inline void configure(support::ScriptedVisa& link, uint8_t control) {
    static const size_t caps[8] = {0, 1, 3, 7, 64, 500, 1024, 4096};
    link.reportMaxCount = control & 1;
    link.whenDry = (control & 2) ? VI_ERROR_CONN_LOST : VI_ERROR_TMO;
    link.readCap = caps[(control >> 2) & 7];
    link.opcFromReplies = control & 0x20;
    link.whenCapped = (control & 0x40) ? VI_SUCCESS : VI_ERROR_TMO;
}

// A block header whose claim lies between what an input can carry and the captures' limit only costs
// time in proportion to the claim without reaching new code; such inputs are skipped. Claims past the
// limit still run, since they must be refused, and cheaply.
inline bool affordableClaim(const std::string& stream) {
    if (stream.size() < 2 || stream[0] != '#' || stream[1] < '1' || stream[1] > '9') return true;
    const long long claim = std::strtoll(stream.substr(2, size_t(stream[1] - '0')).c_str(), nullptr, 10);
    return claim <= static_cast<long long>(64 * (stream.size() + 1024)) || claim > (1LL << 28);
}
