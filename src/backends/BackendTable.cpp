#include "backends/BackendTable.h"

#include <QMutex>
#include <algorithm>
#include <cstring>

namespace trv::backends {

namespace {

// Rows register while libraries load, before any entry point runs; a lock keeps a late registration (a
// program's own backend) from racing a lookup.
struct Table {
    QMutex lock;
    std::vector<const BackendRow*> rows;
};

Table& table() {
    static Table t;
    return t;
}

}  // namespace

void registerRow(const BackendRow& row) {
    Table& t = table();
    QMutexLocker hold(&t.lock);
    for (const BackendRow* r : t.rows)
        if (std::strcmp(r->name, row.name) == 0) return;
    const auto at = std::upper_bound(t.rows.begin(), t.rows.end(), &row,
                                     [](const BackendRow* a, const BackendRow* b) { return a->order < b->order; });
    t.rows.insert(at, &row);
}

std::vector<const BackendRow*> rows() {
    Table& t = table();
    QMutexLocker hold(&t.lock);
    return t.rows;
}

const BackendRow* forDevice(const DeviceData& device) {
    const QString model = QString::fromUtf8(device.model.c_str());
    // The address is a fixed 128-byte field: read it only up to its end.
    const QString address =
        QString::fromUtf8(device.address, static_cast<int>(strnlen(device.address, sizeof device.address)));
    const std::vector<const BackendRow*> all = rows();
    for (const BackendRow* row : all)
        if (row->recognisesModel != nullptr && row->recognisesModel(model)) return row;
    for (const BackendRow* row : all)
        if (row->recognisesAddress != nullptr && row->recognisesAddress(address)) return row;
    const BackendRow* rest = nullptr;
    for (const BackendRow* row : all)
        if (row->takesTheRest) rest = row;
    return rest != nullptr || all.empty() ? rest : all.back();
}

const BackendRow* forResource(const QString& model, const QString& rawModel, bool modelKnown) {
    const BackendRow* unknown = nullptr;
    for (const BackendRow* row : rows()) {
        if (!row->needsVisaSession) continue;
        if (row->takesUnknownResources) unknown = row;
        if (!modelKnown || row->recognisesModel == nullptr) continue;
        if (row->recognisesModel(model) || row->recognisesModel(rawModel)) return row;
    }
    return modelKnown ? nullptr : unknown;
}

bool knownMaker(const QString& maker) {
    for (const BackendRow* row : rows())
        for (const char* const* m = row->makers; m != nullptr && *m != nullptr; ++m)
            if (maker.contains(QString::fromUtf8(*m), Qt::CaseInsensitive)) return true;
    return false;
}

std::string resourceFor(const BackendRow& row, const std::string& host) {
    return row.resourcePrefix + host + "::" + std::to_string(row.port) + "::SOCKET";
}

}  // namespace trv::backends
