// The backend table: the registered rows, in the order records are tried against them. Only the facade
// and the facts reach backends through it; backends register their rows and never include it.
#pragma once

#include <trelvan/Records.h>

#include <QString>
#include <string>
#include <vector>

#include "backends/BackendRow.h"

namespace trv::backends {

// Every registered row, ordered by BackendRow::order.
std::vector<const BackendRow*> rows();
// The row that drives `device`: by model, then by address, then the one that takes the rest; null only
// when no backend is registered.
const BackendRow* forDevice(const DeviceData& device);
// The VISA row for a resource found by discovery, from its model text (as converted and as read); null
// when no row accepts it.
const BackendRow* forResource(const QString& model, const QString& rawModel, bool modelKnown);
// Whether some VISA row lists instruments of this maker.
bool knownMaker(const QString& maker);
// The resource text that opens an instrument of `row` on `host`.
std::string resourceFor(const BackendRow& row, const std::string& host);

}  // namespace trv::backends
