// VISA resource search expressions: '?' any character, '*' and '+' repeat what precedes them, [list] and
// [^list], (group) and a|b; matching ignores case.
#pragma once

#include <regex>
#include <string>

namespace mivisa {

class FindExpr {
public:
    // False for an expression that cannot be compiled. An empty expression matches everything.
    bool compile(const char* expression);
    bool matches(const std::string& name) const;

private:
    bool everything_ = true;
    std::regex regex_;
};

}  // namespace mivisa
