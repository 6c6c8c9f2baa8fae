#include "util/Cp1251.h"

#include <cstdint>

#include "util/Cp1251Table.h"

namespace trv::util {

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

std::string cp1251ToUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        const uint32_t cp = trv::cp1251::codePoint(b);
        if (cp != 0 || b == 0) appendUtf8(out, cp);
    }
    return out;
}

std::string utf8ToCp1251(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        uint32_t cp = lead;
        size_t len = 1;
        if (lead >= 0xF0) {
            len = 4;
        } else if (lead >= 0xE0) {
            len = 3;
            cp = lead & 0x0F;
        } else if (lead >= 0xC0) {
            len = 2;
            cp = lead & 0x1F;
        }
        if (len > 1) {
            if (len == 4 || i + len > text.size()) {
                out += '?';
                i += std::min(len, text.size() - i);
                continue;
            }
            for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        i += len;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            continue;
        }
        const int mapped = trv::cp1251::byteOf(cp);
        out += mapped < 0 ? '?' : static_cast<char>(mapped);
    }
    return out;
}

}  // namespace trv::util
