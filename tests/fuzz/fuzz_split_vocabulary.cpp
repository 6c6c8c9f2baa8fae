// The exported splitters and vocabulary lookups, with texts, numbers and name tables a host may hand
// them. Input: a selector byte, then
// 0 the delimiter's length (one byte), the delimiter, then the text;
// 1 a 32-bit number, a text up to '\n', then the entries of a table of the host's own, one a line.
#include <cstdio>
#include <vector>

#include <trelvan/Split.h>
#include "FuzzInput.h"
#include "backends/sk/SkVocabulary.h"

namespace {

void splitters(FuzzInput& in) {
    std::string delimiter;
    for (uint8_t n = in.byte() % 8; n > 0 && !in.empty(); --n) delimiter += static_cast<char>(in.byte());
    const std::string source = in.rest();
    const std::vector<std::string> fields = split(source, delimiter);
    const std::vector<QString> decoded = QSplit(source, delimiter);
    check(!fields.empty() && decoded.size() == fields.size());
    // The fields and the delimiters between them give back the text, and no field holds a delimiter.
    std::string joined;
    for (size_t i = 0; i < fields.size(); ++i) {
        joined += (i > 0 ? delimiter : std::string()) + fields[i];
        check(delimiter.empty() || fields[i].find(delimiter) == std::string::npos);
        check(decoded[i] == QString::fromUtf8(fields[i].data(), static_cast<int>(fields[i].size())));
    }
    check(joined == source);
}

// A name found for a number leads back to that number.
void roundTrip(const char* name, int id, int (*lookup)(const char*)) {
    if (name != nullptr) check(lookup(std::string(name, std::strcspn(name, " =")).c_str()) == id);
}

void vocabulary(FuzzInput& in) {
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
        // A name (not a number) that matched belongs to an entry of the table.
        const int found = GetEnumID(table.first, table.second, text.data());
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
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    if (in.byte() % 2 == 0)
        splitters(in);
    else
        vocabulary(in);
    return 0;
}
