#include "SkProtocol.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace sim::sk {

namespace {
uint32_t readU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void writeU32(uint32_t v, uint8_t* p) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
bool isDouble(uint8_t lenFrac) {
    return lenFrac == format::Double;
}
}  // namespace

uint16_t readU16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

void writeU16(uint16_t v, uint8_t* p) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

Header readHeader(const uint8_t* p) {
    Header h;
    h.signature = readU16(p);
    h.command = readU16(p + 2);
    h.status = int16_t(readU16(p + 4));
    h.bodyLen = readU16(p + 6);
    h.numParam = p[8];
    h.lenFrac = p[9];
    h.reserved = readU16(p + 10);
    h.sequence = readU32(p + 12);
    return h;
}

void writeHeader(const Header& h, uint8_t* p) {
    writeU16(h.signature, p);
    writeU16(h.command, p + 2);
    writeU16(uint16_t(h.status), p + 4);
    writeU16(h.bodyLen, p + 6);
    p[8] = h.numParam;
    p[9] = h.lenFrac;
    writeU16(h.reserved, p + 10);
    writeU32(h.sequence, p + 12);
}

bool validFormat(uint8_t lenFrac) {
    const int len = lenFrac >> 4, frac = lenFrac & 15;
    return isDouble(lenFrac) || (len >= 1 && len <= 8 && frac < len);
}

double decodeValue(const uint8_t* p, uint8_t lenFrac) {
    if (isDouble(lenFrac)) {
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits |= uint64_t(p[i]) << (8 * i);
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    const int len = lenFrac >> 4, frac = lenFrac & 15;
    uint64_t u = 0;
    for (int i = 0; i < len; ++i) u |= uint64_t(p[i]) << (8 * i);
    if (len < 8 && (u >> (8 * len - 1)) & 1) u |= ~uint64_t(0) << (8 * len);  // sign-extend
    return std::ldexp(double(int64_t(u)), -8 * frac);
}

void encodeValue(double v, uint8_t lenFrac, uint8_t* p) {
    if (isDouble(lenFrac)) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i) p[i] = uint8_t(bits >> (8 * i));
        return;
    }
    const int len = lenFrac >> 4, frac = lenFrac & 15;
    const int64_t hi = len == 8 ? std::numeric_limits<int64_t>::max() : (int64_t(1) << (8 * len - 1)) - 1;
    const int64_t lo = -hi - 1;
    double scaled = std::ldexp(v, 8 * frac);
    scaled += scaled >= 0 ? 0.5 : -0.5;
    int64_t n = 0;
    if (std::isnan(scaled))
        n = 0;
    else if (scaled >= std::ldexp(1.0, 8 * len - 1))
        n = hi;
    else if (scaled <= -std::ldexp(1.0, 8 * len - 1))
        n = lo;
    else
        n = int64_t(scaled);
    for (int i = 0; i < len; ++i) p[i] = uint8_t(uint64_t(n) >> (8 * i));
}

}  // namespace sim::sk
