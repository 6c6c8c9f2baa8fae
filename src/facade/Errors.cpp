// The host's error list, per connected instrument.
#include "backends/ErrorTexts.h"
#include "backends/pxa/Scpi.h"
#include "facade/Trelvan.h"

QVector<Error> Trelvan::getError() {
    QVector<Error> list;
    if (isPXA) {
        if (error.code != 0) list.append(error);
        if (status != 0) {
            list.append(Error{errors::kVisaTimeoutCode, errors::visaTimeoutText()});
            return list;
        }
        pxa::ScpiLink(visa, status, session, resourceManager, device).readErrorQueue(list);
        return list;
    }
    if (isHarogic && backend) {
        list = backend->getErr();
        if (!list.isEmpty() && list[0].code == errors::kOverloadCode) list[0].text = errors::overloadText();
        return list;
    }
    if (error.code != 0) list.append(error);
    return list;
}
