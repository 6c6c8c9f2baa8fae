// The exported vocabulary lookups and str2int, with texts and numbers a host may hand them, and a
// name table of its own. Input: a 32-bit number, a text up to '\n', then table entries, one a line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzVisa.h"
#include "backends/sk/Vocabulary.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

std::string nameOf(const char* entry) {
    return std::string(entry, std::strcspn(entry, " ="));
}

// A name found for a number must lead back to that number.
void roundTrip(const char* name, int id, int (*lookup)(const char*)) {
    if (name != nullptr) check(lookup(nameOf(name).c_str()) == id);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint32_t bits = in.u32();
    const int id = static_cast<int>(bits);
    // Exactly sized with its NUL, so reading past the end of the text is caught.
    const std::string line = in.line();
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');

    char number[32];
    std::snprintf(number, sizeof number, "%d", id);
    check(str2int(number) == id);
    std::snprintf(number, sizeof number, "0x%x", bits);
    check(str2int(number) == id);
    str2int(text.data());

    roundTrip(GetCommandName(id), id, GetCommandID);
    roundTrip(GetParameterName(id), id, GetParameterID);
    if (GetEnumName(ErrorNames, kSkErrorCount, id) != nullptr)
        roundTrip(GetErrorName(id), id,
                  [](const char* t) { return GetEnumID(ErrorNames, kSkErrorCount, t); });
    check(GetParameterDescription(id) != nullptr && GetErrorString(id) != nullptr);
    GetParameterIDByIndex(id);
    GetErrorIDByIndex(id);
    GetEnumID(CommandNames, id);

    for (const auto& table :
         {std::make_pair(CommandNames, kSkCommandCount), std::make_pair(ParameterNames, kSkParameterCount),
          std::make_pair(ErrorNames, kSkErrorCount)}) {
        const int found = GetEnumID(table.first, table.second, text.data());
        // A name (not a number) that matched belongs to an entry of the table.
        if (found != -1 && !(text[0] >= '0' && text[0] <= '9'))
            check(GetEnumName(table.first, table.second, found) != nullptr);
    }

    // A host's own table: the walk stays within the count it is given.
    std::vector<std::string> entries;
    while (!in.empty()) entries.push_back(in.line());
    std::vector<const char*> names;
    for (const std::string& e : entries) names.push_back(e.c_str());
    const int count = static_cast<int>(names.size());
    const int index = GetEnumIndexByID(names.data(), count, id);
    check(count < 1 ? index == 0 : (index >= 0 && index <= count));
    GetEnumName(names.data(), count, id);
    GetEnumValue(names.data(), names.data(), count, id);
    GetEnumID(names.data(), count, text.data());
    return 0;
}
