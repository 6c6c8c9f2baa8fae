// A resource manager session: the parent of the sessions and find lists opened through it.
#pragma once

#include <string>

#include "Registry.h"

namespace mivisa {

class Manager : public Object {
public:
    static constexpr Kind kKind = Kind::Manager;
    Manager() : Object(kKind) {}
};

// Copies text into a caller's VISA string buffer (VI_FIND_BUFLEN bytes), cutting it if need be.
void copyText(ViChar* dst, const std::string& text);

}  // namespace mivisa
