#include "Scan.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "CLocale.h"
#include "Status.h"

namespace mivisa {

namespace {

struct Directive {
    bool skip = false;
    size_t width = 0;  // 0: none given
    bool half = false;
    int longs = 0;
    char conv = 0;
};

// Parses the directive after a '%'; false when it is outside the supported set.
bool parseDirective(const char*& p, Directive& d) {
    if (*p == '*') {
        d.skip = true;
        ++p;
    }
    while (*p >= '0' && *p <= '9') {
        if (d.width < kMaxLine) d.width = d.width * 10 + static_cast<size_t>(*p - '0');
        ++p;
    }
    if (*p == 'h') {
        d.half = true;
        ++p;
    } else {
        while (*p == 'l' && d.longs < 2) {
            ++d.longs;
            ++p;
        }
    }
    d.conv = *p;
    if (d.conv == '\0') return false;
    ++p;
    switch (d.conv) {
        case 'T':
        case 't':
        case 's':
        case 'c':
            return !d.half && d.longs == 0;
        case 'd':
        case 'i':
        case 'u':
            return true;
        case 'f':
        case 'e':
        case 'g':
            return !d.half && d.longs < 2;
        default:
            return false;
    }
}

bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

class Scanner {
public:
    Scanner(const std::string& line, Args& args) : line_(line), args_(args) {}

    // False on a mismatch.
    bool apply(const Directive& d) {
        switch (d.conv) {
            case 'T':
            case 't':
                return takeRest(d);
            case 's':
                return takeWord(d);
            case 'c':
                return takeChars(d);
            case 'f':
            case 'e':
            case 'g':
                return takeReal(d);
            default:
                return takeInteger(d);
        }
    }
    bool literal(char c) {
        if (pos_ < line_.size() && line_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    void skipSpace() {
        while (pos_ < line_.size() && isSpace(line_[pos_])) ++pos_;
    }

private:
    size_t limit(const Directive& d, size_t available) const {
        return d.width != 0 && d.width < available ? d.width : available;
    }
    void store(size_t n, bool terminate) {
        char* dst = va_arg(args_.ap, char*);
        if (dst == nullptr) return;
        std::memcpy(dst, line_.data() + pos_, n);
        if (terminate) dst[n] = '\0';
    }
    bool takeRest(const Directive& d) {
        const size_t n = limit(d, line_.size() - pos_);
        if (!d.skip) store(n, true);
        pos_ = line_.size();
        return true;
    }
    bool takeWord(const Directive& d) {
        skipSpace();
        size_t end = pos_;
        while (end < line_.size() && !isSpace(line_[end])) ++end;
        if (end == pos_) return false;
        const size_t n = limit(d, end - pos_);
        if (!d.skip) store(n, true);
        pos_ += n;
        return true;
    }
    bool takeChars(const Directive& d) {
        const size_t n = d.width != 0 ? d.width : 1;
        if (line_.size() - pos_ < n) return false;
        if (!d.skip) store(n, false);
        pos_ += n;
        return true;
    }
    // The text a number may be read from: after white space, at most `width` characters.
    std::string field(const Directive& d) {
        skipSpace();
        return line_.substr(pos_, limit(d, line_.size() - pos_));
    }
    bool takeInteger(const Directive& d) {
        const std::string text = field(d);
        const int base = d.conv == 'i' ? 0 : 10;
        char* end = nullptr;
        long long v = 0;
        unsigned long long u = 0;
        if (d.conv == 'u')
            u = std::strtoull(text.c_str(), &end, base);
        else
            v = std::strtoll(text.c_str(), &end, base);
        if (end == text.c_str()) return false;
        pos_ += static_cast<size_t>(end - text.c_str());
        if (d.skip) return true;
        if (d.conv == 'u') {
            if (d.longs == 2)
                *va_arg(args_.ap, unsigned long long*) = u;
            else if (d.longs == 1)
                *va_arg(args_.ap, unsigned long*) = static_cast<unsigned long>(u);
            else if (d.half)
                *va_arg(args_.ap, unsigned short*) = static_cast<unsigned short>(u);
            else
                *va_arg(args_.ap, unsigned*) = static_cast<unsigned>(u);
        } else {
            if (d.longs == 2)
                *va_arg(args_.ap, long long*) = v;
            else if (d.longs == 1)
                *va_arg(args_.ap, long*) = static_cast<long>(v);
            else if (d.half)
                *va_arg(args_.ap, short*) = static_cast<short>(v);
            else
                *va_arg(args_.ap, int*) = static_cast<int>(v);
        }
        return true;
    }
    bool takeReal(const Directive& d) {
        const std::string text = field(d);
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (end == text.c_str()) return false;
        pos_ += static_cast<size_t>(end - text.c_str());
        if (d.skip) return true;
        if (d.longs == 1)
            *va_arg(args_.ap, double*) = v;
        else
            *va_arg(args_.ap, float*) = static_cast<float>(v);
        return true;
    }

    const std::string& line_;
    Args& args_;
    size_t pos_ = 0;
};

}  // namespace

ViStatus checkScanFormat(const char* format) {
    if (format == nullptr) return VI_ERROR_NSUP_OPER;
    for (const char* p = format; *p != '\0';) {
        if (*p++ != '%') continue;
        if (*p == '%') {
            ++p;
            continue;
        }
        Directive d;
        if (!parseDirective(p, d)) return VI_ERROR_NSUP_OPER;
    }
    return VI_SUCCESS;
}

ViStatus scanLine(const char* format, const std::string& line, Args& args) {
    CLocaleScope cLocale;
    Scanner scanner(line, args);
    for (const char* p = format; *p != '\0';) {
        if (isSpace(*p)) {
            scanner.skipSpace();
            ++p;
            continue;
        }
        if (*p != '%' || p[1] == '%') {
            if (!scanner.literal(*p)) return kErrorInvFmt;
            p += *p == '%' ? 2 : 1;
            continue;
        }
        ++p;
        Directive d;
        if (!parseDirective(p, d)) return VI_ERROR_NSUP_OPER;
        if (!scanner.apply(d)) return kErrorInvFmt;
    }
    return VI_SUCCESS;
}

}  // namespace mivisa
