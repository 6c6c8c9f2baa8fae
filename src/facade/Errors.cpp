// The host's error list: the connected row's own, or the pending error record.
#include "backends/Backends.h"
#include "facade/Shielded.h"
#include "facade/Trelvan.h"

QVector<Error> Trelvan::getError() {
    const Backend* row = trv::backends::connected(isPXA, isHarogic && backend != nullptr);
    QVector<Error> list;
    if (row != nullptr && row->errorList != nullptr)
        return shielded(
            [&] {
                return row->errorList(Init{&visa, &status, &session, &resourceManager, &params, &error, &device},
                                      backend);
            },
            [&] { return list; });
    if (error.code != 0) list.append(error);
    return list;
}
