#include "FindExpr.h"

#include <cctype>
#include <cstring>

namespace mivisa {

namespace {

// Resource names are short, and so are searches for them; a longer expression is refused rather than
// compiled, since compiling nests as deep as its parentheses.
constexpr size_t kMaxExpression = 1024;

// Translates to an ECMAScript regular expression; false on what VISA does not allow (attribute
// filters in braces among them).
bool translate(const char* p, std::string& out) {
    bool inList = false;
    for (; *p != '\0'; ++p) {
        const char c = *p;
        if (c == '\\') {
            if (p[1] == '\0') return false;
            ++p;
            // An escaped letter or digit stands for itself (in ECMAScript \d would be a digit class).
            if (!std::isalnum(static_cast<unsigned char>(*p))) out += '\\';
            out += *p;
            continue;
        }
        if (inList) {
            if (c == ']') inList = false;
            out += c;
            continue;
        }
        switch (c) {
            case '?':
                out += '.';
                break;
            case '[':
                inList = true;
                out += c;
                if (p[1] == '^') out += *++p;
                break;
            case '*':
            case '+':
            case '(':
            case ')':
            case '|':
                out += c;
                break;
            case '{':
            case '}':
                return false;
            default:
                if (std::strchr(".^$", c)) out += '\\';
                out += c;
        }
    }
    return !inList;
}

}  // namespace

bool FindExpr::compile(const char* expression) {
    everything_ = expression == nullptr || expression[0] == '\0';
    if (everything_) return true;
    if (std::strlen(expression) > kMaxExpression) return false;
    std::string pattern;
    if (!translate(expression, pattern)) return false;
    auto flags = std::regex::ECMAScript | std::regex::icase;
#ifdef __GLIBCXX__
    // Otherwise libstdc++ matches by backtracking, exponential in the worst case ("(a*)*b"): a search
    // must not hang. Escaped digits are plain digits, so there are no back-references to lose.
    flags |= std::regex_constants::__polynomial;
#endif
    try {
        regex_ = std::regex(pattern, flags);
    } catch (const std::regex_error&) {
        return false;
    }
    return true;
}

bool FindExpr::matches(const std::string& name) const {
    return everything_ || std::regex_match(name, regex_);
}

}  // namespace mivisa
