#include "backends/pxa/PxaBlock.h"

namespace trv::pxa {

int blockDigitCount(const std::string& lead) {
    if (lead.size() < 2 || lead[0] != '#') return -1;
    const char d = lead[1];
    return d >= '1' && d <= '9' ? d - '0' : -1;
}

long long blockLength(const std::string& digits, int digitCount) {
    if (digitCount <= 0 || digits.size() != static_cast<std::size_t>(digitCount)) return -1;
    long long length = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return -1;
        length = length * 10 + (c - '0');
        if (length > kMaxBlockBytes) return -1;
    }
    return length;
}

}  // namespace trv::pxa
