// Our VISA library's text handling, as callers, configuration and instruments hand it text. Input: a
// selector byte, then what the selected parser takes:
// 0 a search expression up to '\n', then a resource string;
// 1 a resource list, as MIVISA_RESOURCES (';') or a configuration file ('\n') holds it;
// 2 a format up to a NUL, then a reply line, which is also the source of the write format's arguments.
// Formats take typed variadic arguments, so the target hands over only what a correct caller would:
// every read directive stores through a pointer, and the write format is fed one directive at a time
// with the arguments that directive asks for.
#include <algorithm>
#include <cstdarg>
#include <regex>
#include <set>
#include <vector>

#include "FindExpr.h"
#include "Format.h"
#include "FuzzInput.h"
#include "ResourceList.h"
#include "ResourceName.h"
#include "Scan.h"
#include "base/Cp1251.h"

namespace {

constexpr int kMaxDirectives = 16;

void resource(FuzzInput& in) {
    const std::string expression = in.line();
    const std::string text = in.rest();
    mivisa::ResourceName name;
    const ViStatus parsed = mivisa::parseResourceName(text.c_str(), name);
    check(parsed == VI_SUCCESS || parsed == VI_ERROR_INV_RSRC_NAME || parsed == VI_ERROR_RSRC_NFOUND);
    mivisa::FindExpr expr;
    if (parsed == VI_SUCCESS) {
        // The canonical spelling names the same instrument and is its own canonical spelling.
        mivisa::ResourceName again;
        check(mivisa::parseResourceName(name.canonical().c_str(), again) == VI_SUCCESS);
        check(again.key() == name.key() && again.canonical() == name.canonical() &&
              again.board == name.board);
        // "?*" finds every instrument.
        check(expr.compile("?*") && expr.matches(name.canonical()));
    }
    if (expr.compile(expression.c_str())) {
        expr.matches(text);
        if (parsed == VI_SUCCESS) expr.matches(name.canonical());
    }
}

void resourceList(const std::string& text, char separator) {
    std::set<std::string> keys;
    for (const mivisa::ResourceEntry& e : mivisa::parseResourceList(text, separator)) {
        // Every entry kept names one instrument, once, in a spelling that parses again.
        check(keys.insert(e.name.key()).second);
        mivisa::ResourceName again;
        check(mivisa::parseResourceName(e.name.canonical().c_str(), again) == VI_SUCCESS);
        // Discovery reports the model in Windows-1251: one byte per character, never more bytes.
        check(trv::cp1251::fromUtf8(e.model).size() <= e.model.size());
        trv::cp1251::fromUtf8(e.manufacturer);
    }
}

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
    if (std::count(format.begin(), format.end(), '%') > kMaxDirectives) return;
    // Each destination exactly as large as the most a directive may store into it: the whole line and
    // its NUL, or a long long.
    const size_t room = std::max(line.size() + 1, sizeof(long long));
    std::vector<std::vector<char>> out(kMaxDirectives, std::vector<char>(room));
    std::vector<void*> p;
    for (auto& o : out) p.push_back(o.data());
    scanWith(format.c_str(), &line, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11],
             p[12], p[13], p[14], p[15]);
}

template <typename T>
ViStatus formatOne(const char* piece, std::string& out, int stars, int w, int p, T value) {
    if (stars == 0) return formatWith(piece, &out, value);
    if (stars == 1) return formatWith(piece, &out, w, value);
    return formatWith(piece, &out, w, p, value);
}

// One write directive, "%%" being text: flags, width, precision, length and conversion.
const std::regex kDirective("%[-+ #0]*(\\*|[0-9]*)(\\.(\\*|[0-9]*))?(h|l{0,2})(.?)");

size_t nextDirective(const std::string& f, size_t from) {
    for (size_t i = f.find('%', from); i != std::string::npos; i = f.find('%', i + 2))
        if (i + 1 >= f.size() || f[i + 1] != '%') return i;
    return std::string::npos;
}

// Formats `piece`, whose one directive `m` describes, with the arguments that directive asks for.
ViStatus formatPiece(const std::string& piece, const std::smatch& m, std::string& out, FuzzInput& values,
                     const std::string& text) {
    const int stars = (m[1] == "*") + (m[3] == "*");
    // Widths as a caller passes them: small, and negative for left alignment.
    const int w = static_cast<int8_t>(values.byte()) * 16;
    const int p = static_cast<int8_t>(values.byte()) * 16;
    const uint32_t lo = values.u32();
    const long long whole = static_cast<long long>(uint64_t(values.u32()) << 32 | lo);
    double real;
    std::memcpy(&real, &whole, sizeof real);
    const char* s = piece.c_str();
    const bool plain = m.length(4) == 0, half = m[4] == "h";
    const size_t longs = half ? 0 : m.length(4);
    const std::string conv = m[5];
    if (plain && conv == "s") return formatOne(s, out, stars, w, p, text.c_str());
    if (plain && conv == "c") return formatOne(s, out, stars, w, p, static_cast<int>(lo));
    if (conv == "d" || conv == "i" || conv == "u") {
        if (longs == 2) return formatOne(s, out, stars, w, p, whole);
        if (longs == 1) return formatOne(s, out, stars, w, p, static_cast<long>(whole));
        return formatOne(s, out, stars, w, p, static_cast<int>(lo));
    }
    if ((conv == "f" || conv == "e" || conv == "g") && !half && longs < 2)
        return formatOne(s, out, stars, w, p, real);
    return formatOne(s, out, stars, w, p, 0);
}

void formatAll(const std::string& f, FuzzInput& values, const std::string& text) {
    std::string out;
    size_t at = nextDirective(f, 0);
    if (formatWith(f.substr(0, at).c_str(), &out) != VI_SUCCESS) return;
    while (at != std::string::npos) {
        std::smatch m;
        std::regex_search(f.begin() + at, f.end(), m, kDirective, std::regex_constants::match_continuous);
        const size_t next = nextDirective(f, at + m.length(0));
        const std::string piece = f.substr(at, next == std::string::npos ? std::string::npos : next - at);
        if (formatPiece(piece, m, out, values, text) != VI_SUCCESS) return;
        at = next;
    }
}

void formats(const uint8_t* data, size_t size) {
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(data, '\0', size));
    const size_t formatSize = nul ? static_cast<size_t>(nul - data) : size;
    const size_t lineAt = nul ? formatSize + 1 : size;
    const std::string line(reinterpret_cast<const char*>(data) + lineAt, size - lineAt);
    const std::string format(reinterpret_cast<const char*>(data), formatSize);
    scan(format, line);
    FuzzInput values(data + lineAt, size - lineAt);
    formatAll(format, values, line.substr(0, line.find('\0')));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FuzzInput in(data + 1, size - 1);
    if (data[0] % 3 == 0) resource(in);
    if (data[0] % 3 == 1) {
        const std::string text = in.rest();
        resourceList(text, ';');
        resourceList(text, '\n');
    }
    if (data[0] % 3 == 2) formats(data + 1, size - 1);
    return 0;
}
