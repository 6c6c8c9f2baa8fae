#include "backends/pxa/PxaEntry.h"

#include "backends/ErrorTexts.h"
#include "backends/pxa/PXA.h"
#include "backends/pxa/Scpi.h"

namespace trv::pxa {

bool recognisesModel(const QString& model) {
    return model.contains(QStringLiteral("N9030A"), Qt::CaseInsensitive);
}

analyzerInterface* make(Init init) {
    return new PXA(init);
}

// Read over the facade's session, so the list is the same whatever backend object stands behind it.
QVector<Error> errorList(const Init& facade, analyzerInterface*) {
    QVector<Error> list;
    if (facade.error->code != 0) list.append(*facade.error);
    if (*facade.status != VI_SUCCESS) {
        list.append(Error{trv::errors::kVisaTimeoutCode, trv::errors::visaTimeoutText()});
        return list;
    }
    ScpiLink(*facade.visa, *facade.status, *facade.session, *facade.resourceManager, *facade.device)
        .readErrorQueue(list);
    return list;
}

}  // namespace trv::pxa
