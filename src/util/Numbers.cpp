#include "util/Numbers.h"

#include <QLocale>
#include <cctype>
#include <climits>
#include <cmath>

namespace trv::util {

bool leadingInt(const char* text, int& value) {
    if (text == nullptr) return false;
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = (*text++ == '-');
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
    long long v = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
        v = v * 10 + (*text - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

bool leadingDouble(const char* text, double& value) {
    if (text == nullptr) return false;
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    // Take the longest prefix shaped like a number, then let the C locale convert it.
    const char* p = text;
    if (*p == '+' || *p == '-') ++p;
    const char* digits = p;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    if (*p == '.') {
        ++p;
        while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    }
    if (p == digits || (p == digits + 1 && *digits == '.')) return false;
    if (*p == 'e' || *p == 'E') {
        const char* e = p + 1;
        if (*e == '+' || *e == '-') ++e;
        if (std::isdigit(static_cast<unsigned char>(*e))) {
            while (std::isdigit(static_cast<unsigned char>(*e))) ++e;
            p = e;
        }
    }
    bool ok = false;
    const double v = QLocale::c().toDouble(QString::fromLatin1(text, static_cast<int>(p - text)), &ok);
    if (!ok || !std::isfinite(v)) return false;
    value = v;
    return true;
}

}  // namespace trv::util
