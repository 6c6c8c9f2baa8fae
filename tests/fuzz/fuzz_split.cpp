// split and QSplit with any text and delimiter, the empty delimiter included. Input: the delimiter's
// length (one byte), the delimiter, then the text.
#include <string>
#include <vector>

#include "FuzzVisa.h"
#include "util/Split.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    std::string delimiter;
    for (uint8_t n = in.byte() % 8; n > 0 && !in.empty(); --n) delimiter += static_cast<char>(in.byte());
    const std::string source = in.rest();

    const std::vector<std::string> fields = split(source, delimiter);
    check(!fields.empty());
    // The fields and the delimiters between them give back the text, and no field holds a delimiter.
    std::string joined;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) joined += delimiter;
        joined += fields[i];
        if (!delimiter.empty()) check(fields[i].find(delimiter) == std::string::npos);
    }
    check(joined == source);

    const std::vector<QString> qfields = QSplit(source, delimiter);
    check(qfields.size() == fields.size());
    for (size_t i = 0; i < fields.size(); ++i)
        check(qfields[i] == QString::fromUtf8(fields[i].data(), static_cast<int>(fields[i].size())));
    return 0;
}
