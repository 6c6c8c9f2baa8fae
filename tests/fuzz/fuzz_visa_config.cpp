// Our VISA library's resource list, as MIVISA_RESOURCES (';') or a configuration file ('\n') holds it.
// Input: the list text.
#include <set>
#include <string>

#include "Cp1251.h"
#include "FuzzVisa.h"
#include "ResourceList.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

void checkList(const std::string& text, char separator) {
    std::set<std::string> keys;
    for (const mivisa::ResourceEntry& e : mivisa::parseResourceList(text, separator)) {
        // Every entry kept names one instrument, once, in a spelling that parses again.
        check(keys.insert(e.name.key()).second);
        mivisa::ResourceName again;
        check(mivisa::parseResourceName(e.name.canonical().c_str(), again) == VI_SUCCESS);
        // Discovery reports the model in Windows-1251: one byte per character, never more bytes.
        check(mivisa::utf8ToCp1251(e.model).size() <= e.model.size());
        mivisa::utf8ToCp1251(e.manufacturer);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkList(text, ';');
    checkList(text, '\n');
    return 0;
}
