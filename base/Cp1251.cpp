#include "base/Cp1251.h"

#include <cstdint>

namespace trv::cp1251 {

namespace {

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
        const Utf8Step step = decodeUtf8(text.data(), text.size(), i);
        const int b = step.ok ? byteOf(step.codePoint) : -1;
        out += b < 0 ? '?' : static_cast<char>(b);
        i += step.length;
    }
    return out;
}

}  // namespace trv::cp1251
