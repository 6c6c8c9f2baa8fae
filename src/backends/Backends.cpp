#include "backends/Backends.h"

#include <cstring>
#include <iterator>

#include "backends/harogic/HarogicEntry.h"
#include "backends/pxa/PxaEntry.h"
#include "backends/sk/SkEntry.h"

namespace {

// In the order the records are tried against them. Columns as in Backends.h: name; recognisesModel,
// recognisesAddress, takesTheRest; needsVisaSession, resourcePrefix, port, takesUnknownResources;
// speaksFacadeScpi; enumerate, make, errorList, disconnect.
// clang-format off
const Backend kBackends[] = {
    {"PXA",
     &trv::pxa::recognisesModel, nullptr, false,
     true, "TCPIP0::", 5025, false,
     true,
     nullptr, &trv::pxa::make, &trv::pxa::errorList, nullptr},
    {"SK",
     &trv::sk::recognisesModel, &trv::sk::recognisesAddress, false,
     true, "TCPIP::", 8888, true,
     false,
     nullptr, &trv::sk::make, nullptr, nullptr},
    {"Harogic",
     nullptr, nullptr, true,
     false, "", 0, false,
     false,
     &trv::harogic::enumerate, &trv::harogic::make, &trv::harogic::errorList, &trv::harogic::disconnect},
};
// clang-format on

}  // namespace

namespace trv::backends {

const Backend* begin() {
    return std::begin(kBackends);
}

const Backend* end() {
    return std::end(kBackends);
}

const Backend& forDevice(const DeviceData& device) {
    const QString model = QString::fromUtf8(device.model.c_str());
    // The address is a fixed 128-byte field: read it only up to its end.
    const QString address =
        QString::fromUtf8(device.address, static_cast<int>(strnlen(device.address, sizeof device.address)));
    for (const Backend* row = begin(); row != end(); ++row)
        if (row->recognisesModel != nullptr && row->recognisesModel(model)) return *row;
    for (const Backend* row = begin(); row != end(); ++row)
        if (row->recognisesAddress != nullptr && row->recognisesAddress(address)) return *row;
    const Backend* rest = begin();
    while (rest + 1 != end() && !rest->takesTheRest) ++rest;
    return *rest;
}

const Backend* connected(bool facadeScpi, bool withoutVisaSession) {
    for (const Backend* row = begin(); row != end(); ++row)
        if ((facadeScpi && row->speaksFacadeScpi) || (withoutVisaSession && !row->needsVisaSession))
            return row;
    return nullptr;
}

const Backend* forResource(const QString& model, const QString& rawModel, bool modelKnown) {
    const Backend* unknown = nullptr;
    for (const Backend* row = begin(); row != end(); ++row) {
        if (!row->needsVisaSession) continue;
        if (row->takesUnknownResources) unknown = row;
        if (!modelKnown || row->recognisesModel == nullptr) continue;
        if (row->recognisesModel(model) || row->recognisesModel(rawModel)) return row;
    }
    return modelKnown ? nullptr : unknown;
}

std::string resourceFor(const Backend& row, const std::string& host) {
    return row.resourcePrefix + host + "::" + std::to_string(row.port) + "::SOCKET";
}

}  // namespace trv::backends
