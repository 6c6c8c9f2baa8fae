// The N9030A's answers to the parameter queries (centre frequency, RF range, span, XDelta, resolution
// bandwidth, points). Input: a control byte (see FuzzVisa), a byte choosing the suffix (values past
// CUR included), a 32-bit point count for setNumPoints, then the reply lines separated by '\n'.
#include "PxaHarness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceQtLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    PxaHarness h;
    h.instrument.configure(in.byte());
    const suffix which = static_cast<suffix>(in.byte() % 4);
    const int points = static_cast<int>(in.u32());
    while (!in.empty()) h.instrument.replies.push_back(in.line() + "\n");
    PXA pxa(h.init());
    pxa.getParams(which);
    pxa.getNPts(which);
    // setParams reads its settings back through the same replies; the point count may be 0 or negative.
    Params wanted{1.5e9, 1e7, -10};
    pxa.setParams(wanted);
    pxa.setNumPoints(points);
    return 0;
}
