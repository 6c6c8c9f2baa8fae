#include "backends/sk/SkVocabulary.h"

#include <cstring>
#include <initializer_list>

#include "backends/sk/SkCp1251Literals.h"

namespace {

TRELVAN_CP1251(kUnknownParameter, "Неизвестный параметр");
TRELVAN_CP1251(kUnknownError, "Неизвестная ошибка");
const char* const kNoErrorName = "NO_ERROR";

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexDigit(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The running number of the entry after one numbered n. It wraps at 32 bits like str2int: a table may
// number an entry 2147483647.
int following(int n) {
    return static_cast<int>(static_cast<uint32_t>(n) + 1u);
}

// The number an entry has, given the running number that reached it.
int entryNumber(const char* entry, int running) {
    if (entry == nullptr) return running;
    const char* equals = std::strchr(entry, '=');
    return equals != nullptr ? str2int(equals) : running;
}

std::size_t nameLength(const char* entry) {
    return std::strcspn(entry, " =");
}

// The whole name, or the name less its first two or three characters (its "MI_"/"P_" prefix).
bool nameMatches(const char* entry, const char* text) {
    if (entry == nullptr) return false;
    const std::size_t length = nameLength(entry);
    const std::size_t textLength = std::strlen(text);
    for (std::size_t skip : {0u, 2u, 3u}) {
        if (skip <= length && textLength == length - skip &&
            std::strncmp(entry + skip, text, textLength) == 0)
            return true;
    }
    return false;
}

// The size of one of our own tables, so that an index lookup never walks off its end.
int knownTableSize(const char* const* names) {
    if (names == CommandNames) return kSkCommandCount;
    if (names == ParameterNames || names == ParameterDescriptions) return kSkParameterCount;
    if (names == ErrorNames || names == ErrorStrings) return kSkErrorCount;
    return -1;
}

}  // namespace

int str2int(const char* text) {
    if (text == nullptr || text[0] == '\0') return 0;
    const char* p = text;
    bool negative = false;
    if (!isDigit(*p)) {
        // A leading "-" counts only in first place; otherwise the first digit or "-" after it.
        if (*p != '-') {
            ++p;
            while (*p != '\0' && !isDigit(*p) && *p != '-') ++p;
        }
        if (*p == '\0') return 0;
        if (*p == '-') {
            negative = true;
            ++p;
            if (!isDigit(*p)) return 0;
        }
    }
    // Unsigned arithmetic: overflow wraps at 32 bits instead of being undefined.
    uint32_t value = 0;
    if (!negative && p[0] == '0' && p[1] == 'x') {
        for (p += 2; hexDigit(*p) >= 0; ++p) value = value * 16u + static_cast<uint32_t>(hexDigit(*p));
        return static_cast<int>(value);
    }
    for (; isDigit(*p); ++p) value = value * 10u + static_cast<uint32_t>(*p - '0');
    return static_cast<int>(negative ? 0u - value : value);
}

int GetEnumIndexByID(const char* const* names, int count, int id) {
    if (count < 1) return 0;
    if (names == nullptr) return count;
    int running = 0;
    for (int i = 0; i < count; ++i, running = following(running)) {
        running = entryNumber(names[i], running);
        if (running == id) return i;
    }
    return count;
}

const char* GetEnumName(const char* const* names, int count, int id) {
    const int index = GetEnumIndexByID(names, count, id);
    return index < count ? names[index] : nullptr;
}

const char* GetEnumValue(const char* const* names, const char* const* values, int count, int id) {
    const int index = GetEnumIndexByID(names, count, id);
    return index < count && values != nullptr ? values[index] : nullptr;
}

int GetEnumID(const char* const* names, int count, const char* text) {
    if (text == nullptr) return -1;
    if (isDigit(text[0])) return str2int(text);
    if (count < 1 || names == nullptr) return -1;
    int running = 0;
    for (int i = 0; i < count; ++i, running = following(running)) {
        running = entryNumber(names[i], running);
        if (nameMatches(names[i], text)) return running;
    }
    return -1;
}

int GetEnumID(const char* const* names, int index) {
    if (index < 0 || names == nullptr) return -1;
    const int size = knownTableSize(names);
    if (size >= 0 && index >= size) return -1;
    int running = 0;
    for (int i = 0; i < index; ++i, running = following(running)) running = entryNumber(names[i], running);
    return entryNumber(names[index], running);
}

// The published forms take tables of plain pointers; they read them all the same.
int GetEnumIndexByID(const char** names, int count, int id) {
    return GetEnumIndexByID(static_cast<const char* const*>(names), count, id);
}

const char* GetEnumName(const char** names, int count, int id) {
    return GetEnumName(static_cast<const char* const*>(names), count, id);
}

const char* GetEnumValue(const char** names, const char** values, int count, int id) {
    return GetEnumValue(static_cast<const char* const*>(names), static_cast<const char* const*>(values),
                        count, id);
}

int GetEnumID(const char** names, int count, const char* text) {
    return GetEnumID(static_cast<const char* const*>(names), count, text);
}

int GetEnumID(const char** names, int index) {
    return GetEnumID(static_cast<const char* const*>(names), index);
}

const char* GetCommandName(int id) {
    return GetEnumName(CommandNames, kSkCommandCount, id);
}

int GetCommandID(const char* text) {
    return GetEnumID(CommandNames, kSkCommandCount, text);
}

const char* GetParameterName(int id) {
    return GetEnumName(ParameterNames, kSkParameterCount, id);
}

const char* GetParameterDescription(int id) {
    const char* text = GetEnumValue(ParameterNames, ParameterDescriptions, kSkParameterCount, id);
    return text != nullptr ? text : kUnknownParameter.bytes;
}

int GetParameterID(const char* text) {
    return GetEnumID(ParameterNames, kSkParameterCount, text);
}

int GetParametersCount() {
    return kSkParameterCount;
}

int GetParameterIDByIndex(int index) {
    return GetEnumID(ParameterNames, index);
}

const char* GetErrorName(int id) {
    const char* name = GetEnumName(ErrorNames, kSkErrorCount, id);
    return name != nullptr ? name : kNoErrorName;
}

const char* GetErrorString(int id) {
    const char* text = GetEnumValue(ErrorNames, ErrorStrings, kSkErrorCount, id);
    return text != nullptr ? text : kUnknownError.bytes;
}

int GetErrorsCount() {
    return kSkErrorCount;
}

int GetErrorIDByIndex(int index) {
    return GetEnumID(ErrorNames, index);
}
