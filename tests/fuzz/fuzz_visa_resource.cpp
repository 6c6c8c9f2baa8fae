// Our VISA library's resource strings and search expressions, as callers and configuration give
// them. Input: a search expression up to '\n', then a resource string.
#include <string>

#include "FindExpr.h"
#include "FuzzVisa.h"
#include "ResourceName.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const std::string expression = in.line();
    const std::string text = in.rest();

    mivisa::ResourceName name;
    const ViStatus parsed = mivisa::parseResourceName(text.c_str(), name);
    check(parsed == VI_SUCCESS || parsed == VI_ERROR_INV_RSRC_NAME || parsed == VI_ERROR_RSRC_NFOUND);
    if (parsed == VI_SUCCESS) {
        // The canonical spelling names the same instrument and is its own canonical spelling.
        mivisa::ResourceName again;
        check(mivisa::parseResourceName(name.canonical().c_str(), again) == VI_SUCCESS);
        check(again.key() == name.key() && again.canonical() == name.canonical() &&
              again.board == name.board);
        // "?*" is the search for everything, and finds every instrument.
        mivisa::FindExpr everything;
        check(everything.compile("?*") && everything.matches(name.canonical()));
    }

    mivisa::FindExpr expr;
    if (expr.compile(expression.c_str())) {
        expr.matches(text);
        if (parsed == VI_SUCCESS) expr.matches(name.canonical());
    }
    return 0;
}
