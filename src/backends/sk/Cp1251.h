// Compile-time conversion of UTF-8 string literals to Windows-1251 bytes, so that the Russian texts
// stay readable in the source while the library hands out the bytes the instrument software uses.
// A character that Windows-1251 cannot hold, or malformed UTF-8, stops the build.
#pragma once

#include <cstddef>

static_assert(sizeof("Ж") == 3, "string literals must be compiled as UTF-8");

namespace cp1251 {

// Code points of the bytes 0x80-0xBF; 0 marks 0x98, which the code page leaves unassigned.
constexpr char32_t kUpperHalf[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0,      0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
};

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
    if (cp < 0x80) return static_cast<unsigned char>(cp);
    if (cp >= 0x0410 && cp <= 0x044F) return static_cast<unsigned char>(0xC0 + (cp - 0x0410));
    for (unsigned i = 0; i < 64; ++i) {
        if (kUpperHalf[i] != 0 && kUpperHalf[i] == cp) return static_cast<unsigned char>(0x80 + i);
    }
    throw "character has no Windows-1251 byte";
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

}  // namespace cp1251

// Defines a constant holding the Windows-1251 form of a UTF-8 literal; use its .bytes.
#define TRELVAN_CP1251(name, utf8) constexpr auto name = ::cp1251::encode<::cp1251::encodedSize(utf8)>(utf8)
