// Compile-time conversion of UTF-8 string literals to Windows-1251 bytes, so that the Russian texts
// stay readable in the source while the library hands out the bytes the instrument software uses.
// A character that Windows-1251 cannot hold, or malformed UTF-8, stops the build.
#pragma once

#include <cstddef>

#include "base/Cp1251.h"

static_assert(sizeof("Ж") == 3, "string literals must be compiled as UTF-8");

namespace trv::cp1251 {

struct Decoded {
    char32_t codePoint;
    std::size_t length;
};

// Throwing inside a constant evaluation is a compile error, which is the point.
constexpr Decoded decodeAt(const char* s, std::size_t i) {
    const unsigned char lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0) throw "malformed UTF-8";
    char32_t cp = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(s[i + k]);
        if ((next & 0xC0) != 0x80) throw "malformed UTF-8";
        cp = (cp << 6) | (next & 0x3F);
    }
    return {cp, length};
}

constexpr unsigned char byteFor(char32_t cp) {
    const int b = byteOf(cp);
    if (b < 0) throw "character has no Windows-1251 byte";
    return static_cast<unsigned char>(b);
}

// Bytes of the converted text including its terminating NUL.
constexpr std::size_t encodedSize(const char* utf8) {
    std::size_t n = 1;
    for (std::size_t i = 0; utf8[i] != '\0'; i += decodeAt(utf8, i).length) ++n;
    return n;
}

template <std::size_t N>
struct Text {
    char bytes[N];
};

template <std::size_t N>
constexpr Text<N> encode(const char* utf8) {
    Text<N> out{};
    std::size_t n = 0;
    for (std::size_t i = 0; utf8[i] != '\0';) {
        const Decoded d = decodeAt(utf8, i);
        out.bytes[n++] = static_cast<char>(byteFor(d.codePoint));
        i += d.length;
    }
    out.bytes[n] = '\0';
    return out;
}

}  // namespace trv::cp1251

// Defines a constant holding the Windows-1251 form of a UTF-8 literal; use its .bytes.
#define TRELVAN_CP1251(name, utf8) constexpr auto name = ::trv::cp1251::encode<::trv::cp1251::encodedSize(utf8)>(utf8)
