#include "backends/sk/SkEntry.h"

#include "backends/sk/SK.h"

namespace trv::sk {

bool recognisesModel(const QString& model) {
    return model.contains(QStringLiteral("k4"), Qt::CaseInsensitive) ||
           model.contains(QStringLiteral("к4"), Qt::CaseInsensitive);
}

bool recognisesAddress(const QString& address) {
    return address.contains(QStringLiteral("k4"), Qt::CaseInsensitive);
}

analyzerInterface* make(Init init) {
    return new SK(init);
}

}  // namespace trv::sk
