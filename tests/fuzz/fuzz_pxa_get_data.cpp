// The N9030A's reply to a capture request: a definite-length block of float pairs, or whatever a broken
// or hostile instrument sends instead. Input: one control byte (see FuzzVisa), then the byte stream.
#include "BlockClaim.h"
#include "PxaHarness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceQtLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    PxaHarness h;
    h.instrument.configure(in.byte());
    h.instrument.stream = in.rest();
    if (!affordableClaim(h.instrument.stream)) return -1;
    PXA pxa(h.init());
    QVector<IQ_Elem> samples;
    // Later captures read what the first left in the stream, after a re-open if it timed out.
    for (int capture = 0; capture < 3; ++capture) {
        pxa.getData(&samples);
        if (h.instrument.stream.empty()) break;
    }
    return 0;
}
