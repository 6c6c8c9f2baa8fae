// A va_list that can be handed from the write format to the read format of one query.
#pragma once

#include <cstdarg>

namespace mivisa {

struct Args {
    va_list ap;
};

}  // namespace mivisa
