#include "Format.h"

#include <cstdio>
#include <cstring>

#include "CLocale.h"

namespace mivisa {

namespace {

// The most text one formatted write builds, and so the largest width or precision: a format such as
// "%1500000000d" is a mistake, and honouring it would allocate gigabytes before a byte is sent.
constexpr size_t kMaxText = 16u << 20;

// Digits of a width or precision; false when they ask for more than kMaxText.
bool number(const char*& p, std::string& directive) {
    size_t value = 0;
    for (; *p >= '0' && *p <= '9'; directive += *p++) {
        value = value * 10 + static_cast<size_t>(*p - '0');
        if (value > kMaxText) return false;
    }
    return true;
}

bool starred(int value, std::string& directive) {
    if (value > static_cast<int>(kMaxText) || value < -static_cast<int>(kMaxText)) return false;
    directive += std::to_string(value);
    return true;
}

// False when the text would grow past kMaxText.
template <typename T>
bool append(std::string& out, const std::string& directive, T value) {
    char local[256];
    const int n = std::snprintf(local, sizeof local, directive.c_str(), value);
    if (n < 0) return true;
    if (out.size() + static_cast<size_t>(n) > kMaxText) return false;
    if (static_cast<size_t>(n) < sizeof local) {
        out.append(local, static_cast<size_t>(n));
        return true;
    }
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(n) + 1);
    std::snprintf(&out[at], static_cast<size_t>(n) + 1, directive.c_str(), value);
    out.resize(at + static_cast<size_t>(n));
    return true;
}

}  // namespace

ViStatus formatText(const char* format, Args& args, std::string& out) {
    if (format == nullptr) return VI_ERROR_NSUP_OPER;
    CLocaleScope cLocale;
    const char* p = format;
    while (*p != '\0') {
        if (*p != '%') {
            const char* next = std::strchr(p, '%');
            const size_t n = next ? static_cast<size_t>(next - p) : std::strlen(p);
            out.append(p, n);
            p += n;
            continue;
        }
        ++p;
        if (*p == '%') {
            out += '%';
            ++p;
            continue;
        }
        // Rebuild the directive with any '*' replaced by its argument, then let snprintf do the work.
        std::string directive = "%";
        while (*p != '\0' && std::strchr("-+ #0", *p)) directive += *p++;
        if (*p == '*') {
            if (!starred(va_arg(args.ap, int), directive)) return VI_ERROR_NSUP_OPER;
            ++p;
        } else if (!number(p, directive)) {
            return VI_ERROR_NSUP_OPER;
        }
        if (*p == '.') {
            directive += *p++;
            if (*p == '*') {
                const int precision = va_arg(args.ap, int);
                ++p;
                // A negative precision counts as none; written out it would not be a directive at all.
                if (precision < 0)
                    directive.pop_back();
                else if (!starred(precision, directive))
                    return VI_ERROR_NSUP_OPER;
            } else if (!number(p, directive)) {
                return VI_ERROR_NSUP_OPER;
            }
        }
        int longs = 0;
        bool half = false;
        if (*p == 'h') {
            half = true;
            ++p;
        } else {
            while (*p == 'l' && longs < 2) {
                ++longs;
                ++p;
            }
        }
        const char conv = *p;
        if (conv == '\0') return VI_ERROR_NSUP_OPER;
        ++p;
        bool fits = true;
        switch (conv) {
            case 's': {
                if (half || longs) return VI_ERROR_NSUP_OPER;
                const char* s = va_arg(args.ap, const char*);
                fits = append(out, directive + 's', s != nullptr ? s : "");
                break;
            }
            case 'c':
                if (half || longs) return VI_ERROR_NSUP_OPER;
                fits = append(out, directive + 'c', va_arg(args.ap, int));
                break;
            case 'd':
            case 'i':
            case 'u': {
                const bool isUnsigned = conv == 'u';
                if (longs == 2) {
                    if (isUnsigned)
                        fits = append(out, directive + "llu", va_arg(args.ap, unsigned long long));
                    else
                        fits = append(out, directive + "lld", va_arg(args.ap, long long));
                } else if (longs == 1) {
                    if (isUnsigned)
                        fits = append(out, directive + "lu", va_arg(args.ap, unsigned long));
                    else
                        fits = append(out, directive + "ld", va_arg(args.ap, long));
                } else {
                    // short arguments arrive promoted to int; the 'h' only narrows what is printed
                    const int v = va_arg(args.ap, int);
                    if (isUnsigned)
                        fits = append(out, directive + (half ? "hu" : "u"), static_cast<unsigned>(v));
                    else
                        fits = append(out, directive + (half ? "hd" : "d"), v);
                }
                break;
            }
            case 'f':
            case 'e':
            case 'g':
                if (half || longs == 2) return VI_ERROR_NSUP_OPER;
                fits = append(out, directive + conv, va_arg(args.ap, double));
                break;
            default:
                return VI_ERROR_NSUP_OPER;
        }
        if (!fits) return VI_ERROR_NSUP_OPER;
    }
    return VI_SUCCESS;
}

}  // namespace mivisa
