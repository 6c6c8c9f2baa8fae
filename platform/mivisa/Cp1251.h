// Windows-1251, the code page in which instruments of the SK family report their model text.
#pragma once

#include <string>

namespace mivisa {

// UTF-8 text to Windows-1251 bytes; a character the code page lacks, or a broken sequence, becomes '?'.
std::string utf8ToCp1251(const std::string& text);

}  // namespace mivisa
