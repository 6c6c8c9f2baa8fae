// Windows-1251, the code page SK instruments and their documentation use for Cyrillic text.
#pragma once

#include <string>

namespace trv::util {

// Bytes below 0x80 stay; each byte from 0x80 up becomes its UTF-8 sequence; 0x98, unassigned, is dropped.
std::string cp1251ToUtf8(const std::string& bytes);
// The reverse; a character the code page lacks becomes '?'.
std::string utf8ToCp1251(const std::string& text);

}  // namespace trv::util
