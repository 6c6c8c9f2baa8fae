// Compile-time conversion of UTF-8 string literals to Windows-1251 bytes, so that the Russian texts
// stay readable in the source while the library hands out the bytes the instrument software uses.
// A character that Windows-1251 cannot hold, or malformed UTF-8, stops the build.
#pragma once

#include <cstddef>
#include <string>

#include "base/Cp1251.h"

static_assert(sizeof("Ж") == 3, "string literals must be compiled as UTF-8");

namespace trv::cp1251 {

// Throwing inside a constant evaluation is a compile error, which is the point.
constexpr Utf8Step decodeAt(const char* s, std::size_t i) {
    const Utf8Step step = decodeUtf8(s, std::char_traits<char>::length(s), i);
    if (!step.ok) throw "malformed UTF-8";
    return step;
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
        const Utf8Step d = decodeAt(utf8, i);
        out.bytes[n++] = static_cast<char>(byteFor(d.codePoint));
        i += d.length;
    }
    out.bytes[n] = '\0';
    return out;
}

}  // namespace trv::cp1251

// Defines a constant holding the Windows-1251 form of a UTF-8 literal; use its .bytes.
#define TRELVAN_CP1251(name, utf8) constexpr auto name = ::trv::cp1251::encode<::trv::cp1251::encodedSize(utf8)>(utf8)
