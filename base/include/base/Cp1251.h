// Windows-1251, the code page SK instruments use for Cyrillic text: the one table of it and the one
// converter, shared by the library (the model texts discovery reads, the compile-time texts of the SK
// vocabulary) and by our VISA library (the model texts it hands out).
#pragma once

#include <cstddef>
#include <string>

namespace trv::cp1251 {

// Code points of the bytes 0x80-0xBF; 0 marks 0x98, which the code page leaves unassigned. The bytes
// 0xC0-0xFF are U+0410-U+044F (А..я) in order.
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

// The code point of a byte; 0 for the unassigned 0x98.
constexpr char32_t codePoint(unsigned char b) {
    if (b < 0x80) return b;
    if (b >= 0xC0) return 0x0410 + (b - 0xC0);
    return kUpperHalf[b - 0x80];
}

// The byte of a code point, or -1 when the code page has none.
constexpr int byteOf(char32_t cp) {
    if (cp < 0x80) return static_cast<int>(cp);
    if (cp >= 0x0410 && cp <= 0x044F) return static_cast<int>(0xC0 + (cp - 0x0410));
    for (int i = 0; i < 64; ++i)
        if (kUpperHalf[i] != 0 && kUpperHalf[i] == cp) return 0x80 + i;
    return -1;
}

// One UTF-8 sequence at `i` of the `size` bytes at `s`: its code point and how many bytes it took. Not ok
// for a stray, cut or overlong sequence, whose length then covers the bytes read of it (at least one).
struct Utf8Step {
    char32_t codePoint;
    std::size_t length;
    bool ok;
};
constexpr Utf8Step decodeUtf8(const char* s, std::size_t size, std::size_t i) {
    const unsigned char lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80) return {lead, 1, true};
    const std::size_t extra = (lead & 0xE0) == 0xC0   ? 1
                              : (lead & 0xF0) == 0xE0 ? 2
                              : (lead & 0xF8) == 0xF0 ? 3
                                                      : 0;
    if (extra == 0) return {0, 1, false};
    char32_t cp = lead & (0x3F >> extra);
    std::size_t n = 1;
    for (; n <= extra; ++n) {
        if (i + n >= size || (static_cast<unsigned char>(s[i + n]) & 0xC0) != 0x80) return {0, n, false};
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + n]) & 0x3F);
    }
    // The smallest code point that needs this many bytes: anything below is an overlong form.
    const char32_t least = extra == 1 ? 0x80 : extra == 2 ? 0x800 : 0x10000;
    return {cp, n, cp >= least};
}

// Windows-1251 bytes to UTF-8; the unassigned 0x98 is dropped.
std::string toUtf8(const std::string& bytes);
// UTF-8 to Windows-1251 bytes; a character the code page lacks, or a broken sequence, becomes '?'.
std::string fromUtf8(const std::string& text);

}  // namespace trv::cp1251
