// SK protocol messages written and parsed byte by byte, sharing nothing with the library's header struct
// or the emulator's encoder: what a test sends, what it expects on the wire, and what it reads back.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace support::sk {

using Bytes = std::string;

inline void put16(Bytes& b, unsigned v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>((v >> 8) & 0xFF);
}

// A little-endian integer of `width` bytes at `at`, sign-extended unless told otherwise.
inline int64_t getInt(const Bytes& b, std::size_t at, unsigned width, bool isSigned = true) {
    uint64_t v = 0;
    for (unsigned k = 0; k < width; ++k) v |= uint64_t(uint8_t(b[at + k])) << (8 * k);
    if (isSigned && width < 8 && (v >> (8 * width - 1)) & 1) v |= ~uint64_t(0) << (8 * width);
    return int64_t(v);
}

// Signature, command, status, body length, NumParam, LenParam/FracParam, reserved, sequence; then the body.
inline Bytes message(unsigned command, int status, unsigned num, unsigned lenFrac, const Bytes& body,
                     uint32_t sequence = 0, unsigned signature = 0x55AA) {
    Bytes b;
    put16(b, signature);
    put16(b, command);
    put16(b, static_cast<uint16_t>(status));
    put16(b, static_cast<unsigned>(body.size()));
    b += static_cast<char>(num);
    b += static_cast<char>(lenFrac);
    put16(b, 0);
    put16(b, sequence & 0xFFFF);
    put16(b, sequence >> 16);
    return b + body;
}

// The parameter ID, then each value as a fixed-point integer of the width lenFrac names.
inline Bytes parameterBody(unsigned pid, unsigned lenFrac, const std::vector<double>& values) {
    Bytes b;
    put16(b, pid);
    for (double v : values) {
        const uint64_t n = uint64_t(std::llround(std::ldexp(v, 8 * int(lenFrac & 15))));
        for (unsigned k = 0; k < (lenFrac >> 4); ++k) b += static_cast<char>((n >> (8 * k)) & 0xFF);
    }
    return b;
}

inline Bytes parameter(unsigned command, unsigned pid, unsigned lenFrac, const std::vector<double>& values,
                       int status = 0, uint32_t sequence = 0) {
    return message(command, status, unsigned(values.size()), lenFrac, parameterBody(pid, lenFrac, values),
                   sequence);
}

// An MI_RUN data reply: each sample's values as `len`-byte integers, then the body status.
inline Bytes dataReply(const std::vector<std::vector<int64_t>>& samples, unsigned len = 4,
                       int headerStatus = 0, int bodyStatus = 0) {
    Bytes body;
    for (const auto& sample : samples)
        for (int64_t v : sample)
            for (unsigned k = 0; k < len; ++k) body += static_cast<char>((uint64_t(v) >> (8 * k)) & 0xFF);
    put16(body, uint16_t(bodyStatus));
    const unsigned num = samples.empty() ? 2 : unsigned(samples[0].size());
    return message(6, headerStatus, num, len << 4, body);
}

// One whole message as it crossed the wire, its values decoded as a parameter message's.
struct Message {
    unsigned command = 0;
    int status = 0;
    unsigned num = 0, lenFrac = 0;
    uint32_t sequence = 0;
    int pid = -1;  // -1 without a body
    std::vector<double> values;
    Bytes body;
    std::size_t readBefore = 0;  // reply bytes the library had read when it wrote this (scripted only)
};

// Takes one whole message off the front of `bytes`; false while it is not all there.
inline bool take(Bytes& bytes, Message* m) {
    if (bytes.size() < 16) return false;
    const std::size_t size = 16 + std::size_t(getInt(bytes, 6, 2, false));
    if (bytes.size() < size) return false;
    *m = Message{};
    m->command = unsigned(getInt(bytes, 2, 2, false));
    m->status = int(getInt(bytes, 4, 2));
    m->num = uint8_t(bytes[8]);
    m->lenFrac = uint8_t(bytes[9]);
    m->sequence = uint32_t(getInt(bytes, 12, 4, false));
    m->body = bytes.substr(16, size - 16);
    if (m->body.size() >= 2) m->pid = int(getInt(m->body, 0, 2, false));
    const unsigned width = m->lenFrac >> 4, frac = m->lenFrac & 15;
    for (unsigned i = 0; width > 0 && i < m->num && 2 + (i + 1) * width <= m->body.size(); ++i)
        m->values.push_back(std::ldexp(double(getInt(m->body, 2 + i * width, width)), -8 * int(frac)));
    bytes.erase(0, size);
    return true;
}

}  // namespace support::sk
