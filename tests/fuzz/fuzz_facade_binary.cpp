// The facade's binary capture: a definite-length block of big-endian floats after a points query.
// Input: a control byte (see FuzzVisa), the points reply up to '\n', then the data stream.
#include "BlockClaim.h"
#include "FacadeHarness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceQtLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    FuzzVisa instrument;
    instrument.configure(in.byte());
    instrument.replies.push_back(in.line() + "\n");
    instrument.stream = in.rest();
    if (!affordableClaim(instrument.stream)) return -1;
    connectFacade(instrument);
    trelvan.getData(0.0);
    return 0;
}
