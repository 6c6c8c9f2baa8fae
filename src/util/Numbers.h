// Number conversions of instrument replies that never throw.
#pragma once

#include <string>

namespace trv::util {

// Like std::stoi: leading white space and a sign, then decimal digits up to the first non-digit.
// False when no digit comes first or the value leaves the int range.
bool leadingInt(const char* text, int& value);
inline bool leadingInt(const std::string& text, int& value) { return leadingInt(text.c_str(), value); }

// Like std::stod: leading white space, then the longest number (C locale), text after it ignored.
bool leadingDouble(const char* text, double& value);
inline bool leadingDouble(const std::string& text, double& value) { return leadingDouble(text.c_str(), value); }

}  // namespace trv::util
