#include "backends/harogic/HarogicEntry.h"

#include "backends/ErrorTexts.h"
#include "backends/harogic/Harogic.h"

namespace trv::harogic {

void enumerate(QVector<DeviceData>* found) {
    Harogic probe;
    probe.getDevList(found);
}

analyzerInterface* make(Init init) {
    return new Harogic(init);
}

QVector<Error> errorList(const Init&, analyzerInterface* backend) {
    if (backend == nullptr) return {};
    QVector<Error> list = backend->getErr();
    if (!list.isEmpty() && list[0].code == trv::errors::kOverloadCode) list[0].text = trv::errors::overloadText();
    return list;
}

void disconnect(analyzerInterface* backend) {
    // The table hands this row only the backends it made.
    static_cast<Harogic*>(backend)->disconnectH();
}

}  // namespace trv::harogic
