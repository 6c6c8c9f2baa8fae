// The host's error list: the connected row's own, or the pending error record.
#include "facade/Facade.h"
#include "facade/FacadeState.h"
#include "facade/Shielded.h"

QVector<Error> Trelvan::getError() {
    const BackendRow* row = trv::facade::stateOf(*this).row;
    QVector<Error> list;
    if (row != nullptr && row->errorList != nullptr && (row->needsVisaSession || backend != nullptr))
        return shielded(
            "getError",
            [&] {
                return row->errorList(
                    Init{&visa, &status, &session, &resourceManager, &params, &error, &device}, backend);
            },
            [&] { return list; });
    if (error.code != 0) list.append(error);
    return list;
}
