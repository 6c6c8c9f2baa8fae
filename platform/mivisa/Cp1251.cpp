#include "Cp1251.h"

#include <cstdint>

#include "util/Cp1251Table.h"

namespace mivisa {

namespace {

char encode(uint32_t cp) {
    const int b = trv::cp1251::byteOf(cp);
    return b < 0 ? '?' : static_cast<char>(b);
}

// Decodes one UTF-8 sequence at `i`; advances `i`. Returns 0xFFFFFFFF for a broken sequence.
uint32_t decode(const std::string& s, size_t& i) {
    const unsigned char lead = static_cast<unsigned char>(s[i++]);
    if (lead < 0x80) return lead;
    int extra;
    uint32_t cp;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07;
    } else {
        return 0xFFFFFFFF;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 0xFFFFFFFF;
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3F);
    }
    return cp;
}

}  // namespace

std::string utf8ToCp1251(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const uint32_t cp = decode(text, i);
        out += cp == 0xFFFFFFFF ? '?' : encode(cp);
    }
    return out;
}

}  // namespace mivisa
