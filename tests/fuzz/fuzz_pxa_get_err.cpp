// The N9030A's error queue: one reply line per ":SYSTem:ERRor:NEXT?", from a queue that may never
// empty, answer nonsense or stop answering. Input: a control byte (see FuzzVisa), the pending error's
// code, then the reply lines separated by '\n'.
#include "PxaHarness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceQtLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    PxaHarness h;
    h.instrument.configure(in.byte());
    h.error.code = static_cast<int8_t>(in.byte());
    if (h.error.code != 0) h.error.text = QStringLiteral("pending");
    while (!in.empty()) h.instrument.replies.push_back(in.line() + "\n");
    const size_t offered = h.instrument.replies.size();
    PXA pxa(h.init());
    const QVector<Error> list = pxa.getErr();
    // The pending error leads, and the queue read ends on its own however long the queue claims to be.
    if (h.error.code != 0 && (list.isEmpty() || list.first().code != h.error.code)) __builtin_trap();
    if (static_cast<size_t>(list.size()) > offered + 2) __builtin_trap();
    return 0;
}
