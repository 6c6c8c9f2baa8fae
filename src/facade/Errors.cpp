// The host's error list: the connected row's own, or the pending error record.
#include "backends/Backends.h"
#include "facade/Trelvan.h"

QVector<Error> Trelvan::getError() {
    const Backend* row = trv::backends::connected(isPXA, isHarogic && backend != nullptr);
    if (row != nullptr && row->errorList != nullptr)
        return row->errorList(Init{&visa, &status, &session, &resourceManager, &params, &error, &device},
                              backend);
    QVector<Error> list;
    if (error.code != 0) list.append(error);
    return list;
}
