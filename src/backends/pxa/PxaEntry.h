// What the backend table needs of the N9030A backend.
#pragma once

#include "backends/Backends.h"

namespace trv::pxa {
bool recognisesModel(const QString& model);
analyzerInterface* make(Init init);
// The pending error record, then a timeout entry or the instrument's error queue.
QVector<Error> errorList(const Init& facade, analyzerInterface* backend);
}  // namespace trv::pxa
