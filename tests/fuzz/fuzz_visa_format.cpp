// Our VISA library's formatted I/O: a read format applied to a reply line, and a write format with
// its arguments. Input: the format up to a NUL, then the reply line (also the source of arguments).
//
// Formats take typed variadic arguments, so the target hands over only what a correct caller would:
// every read directive stores through a pointer, and the write format is fed one directive at a time
// with the arguments that directive asks for.
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "Format.h"
#include "FuzzVisa.h"
#include "Scan.h"

namespace {

constexpr int kMaxDirectives = 16;

ViStatus scanWith(const char* format, const std::string* line, ...) {
    mivisa::Args args;
    va_start(args.ap, line);
    const ViStatus status = mivisa::scanLine(format, *line, args);
    va_end(args.ap);
    return status;
}

ViStatus formatWith(const char* format, std::string* out, ...) {
    mivisa::Args args;
    va_start(args.ap, out);
    const ViStatus status = mivisa::formatText(format, args, *out);
    va_end(args.ap);
    return status;
}

void scan(const std::string& format, const std::string& line) {
    if (mivisa::checkScanFormat(format.c_str()) != VI_SUCCESS) return;
    int directives = 0;
    for (char c : format) directives += c == '%';
    if (directives > kMaxDirectives) return;
    // Each destination exactly as large as the longest thing a directive may store into it, so a
    // store past it is caught: the whole line and its NUL, or a long long.
    const size_t room = std::max(line.size() + 1, sizeof(long long));
    std::vector<std::vector<char>> out(kMaxDirectives, std::vector<char>(room));
    std::vector<void*> p;
    for (auto& o : out) p.push_back(o.data());
    scanWith(format.c_str(), &line, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11],
             p[12], p[13], p[14], p[15]);
}

enum class Arg { None, Int, Long, LongLong, Double, String };

// The argument one write directive takes after its '*'s, and the length of the directive.
struct Directive {
    int stars = 0;
    Arg arg = Arg::None;
    size_t length = 1;
};

Directive classify(const char* d) {
    Directive r;
    const char* p = d + 1;
    while (*p != '\0' && std::strchr("-+ #0", *p)) ++p;
    for (int part = 0; part < 2; ++part) {
        if (part == 1) {
            if (*p != '.') break;
            ++p;
        }
        if (*p == '*') {
            ++r.stars;
            ++p;
        } else {
            while (*p >= '0' && *p <= '9') ++p;
        }
    }
    bool half = false;
    int longs = 0;
    if (*p == 'h') {
        half = true;
        ++p;
    } else {
        while (*p == 'l' && longs < 2) ++longs, ++p;
    }
    const char conv = *p;
    if (conv != '\0') ++p;
    r.length = static_cast<size_t>(p - d);
    if (conv == 's') r.arg = half || longs ? Arg::None : Arg::String;
    if (conv == 'c') r.arg = half || longs ? Arg::None : Arg::Int;
    if (conv == 'd' || conv == 'i' || conv == 'u')
        r.arg = longs == 2 ? Arg::LongLong : longs ? Arg::Long : Arg::Int;
    if (conv == 'f' || conv == 'e' || conv == 'g') r.arg = half || longs == 2 ? Arg::None : Arg::Double;
    return r;
}

// The next directive at or after `from`, "%%" being text.
size_t nextDirective(const std::string& f, size_t from) {
    for (size_t i = from; i < f.size(); ++i) {
        if (f[i] != '%') continue;
        if (i + 1 < f.size() && f[i + 1] == '%') {
            ++i;
            continue;
        }
        return i;
    }
    return std::string::npos;
}

template <typename T>
ViStatus formatOne(const char* piece, std::string& out, int stars, int w, int p, T value) {
    if (stars == 0) return formatWith(piece, &out, value);
    if (stars == 1) return formatWith(piece, &out, w, value);
    return formatWith(piece, &out, w, p, value);
}

void formatAll(const std::string& f, FuzzInput& values, const std::string& text) {
    std::string out;
    size_t at = nextDirective(f, 0);
    if (formatWith(f.substr(0, at).c_str(), &out) != VI_SUCCESS || at == std::string::npos) return;
    while (at != std::string::npos) {
        const Directive d = classify(f.c_str() + at);
        const size_t next = nextDirective(f, at + d.length);
        const std::string piece = f.substr(at, next == std::string::npos ? std::string::npos : next - at);
        // Widths as a caller passes them: small, and negative for left alignment.
        const int w = static_cast<int8_t>(values.byte()) * 16;
        const int p = static_cast<int8_t>(values.byte()) * 16;
        const uint32_t lo = values.u32(), hi = values.u32();
        const long long whole = static_cast<long long>((uint64_t(hi) << 32) | lo);
        double real;
        std::memcpy(&real, &whole, sizeof real);
        const char* s = piece.c_str();
        ViStatus status = VI_SUCCESS;
        switch (d.arg) {
            case Arg::None:
                status = formatOne(s, out, d.stars, w, p, 0);
                break;
            case Arg::Int:
                status = formatOne(s, out, d.stars, w, p, static_cast<int>(lo));
                break;
            case Arg::Long:
                status = formatOne(s, out, d.stars, w, p, static_cast<long>(whole));
                break;
            case Arg::LongLong:
                status = formatOne(s, out, d.stars, w, p, whole);
                break;
            case Arg::Double:
                status = formatOne(s, out, d.stars, w, p, real);
                break;
            case Arg::String:
                status = formatOne(s, out, d.stars, w, p, text.c_str());
                break;
        }
        if (status != VI_SUCCESS) return;
        at = next;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(data, '\0', size));
    const size_t formatSize = nul ? static_cast<size_t>(nul - data) : size;
    const std::string fmt(reinterpret_cast<const char*>(data), formatSize);
    const size_t lineAt = nul ? formatSize + 1 : size;
    const std::string line(reinterpret_cast<const char*>(data) + lineAt, size - lineAt);
    scan(fmt, line);
    FuzzInput values(data + lineAt, size - lineAt);
    formatAll(fmt, values, line.substr(0, line.find('\0')));
    return 0;
}
