// Cutting a text into fields at every occurrence of a delimiter, empty fields kept.
#pragma once

#include <trelvan/Export.h>

#include <QString>
#include <string>
#include <vector>

TRELVAN_EXPORT std::vector<std::string> split(std::string source, std::string delimiter);
// The same fields, each decoded from UTF-8.
TRELVAN_EXPORT std::vector<QString> QSplit(std::string source, std::string delimiter);
