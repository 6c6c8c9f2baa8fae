// What the backend table needs of the SK backend.
#pragma once

#include "backends/Backends.h"

namespace trv::sk {
// "K4" in either alphabet, in any case.
bool recognisesModel(const QString& model);
bool recognisesAddress(const QString& address);
analyzerInterface* make(Init init);
}  // namespace trv::sk
