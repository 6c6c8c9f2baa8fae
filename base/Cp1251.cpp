#include "base/Cp1251.h"

#include <cstdint>

namespace trv::cp1251 {

namespace {

constexpr uint32_t kBroken = 0xFFFFFFFF;

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes the sequence at `i` and moves past it; kBroken for a stray, cut or overlong one.
uint32_t decode(const std::string& s, size_t& i) {
    const unsigned char lead = static_cast<unsigned char>(s[i++]);
    if (lead < 0x80) return lead;
    const int extra = (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : 0;
    if (extra == 0) return kBroken;
    // The smallest code point that needs this many bytes: anything below is an overlong form.
    const uint32_t least = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
    uint32_t cp = lead & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return kBroken;
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    return cp < least ? kBroken : cp;
}

}  // namespace

std::string toUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        const uint32_t cp = codePoint(b);
        if (cp != 0 || b == 0) appendUtf8(out, cp);
    }
    return out;
}

std::string fromUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const uint32_t cp = decode(text, i);
        const int b = cp == kBroken ? -1 : byteOf(cp);
        out += b < 0 ? '?' : static_cast<char>(b);
    }
    return out;
}

}  // namespace trv::cp1251
