// The facade's ASCII capture: a points reply, then comma-separated numbers read in 1024-byte pieces.
// Input: a control byte (see FuzzVisa), the points reply up to '\n', then the data stream.
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
    connectFacade(instrument);
    const std::vector<std::complex<double>> samples = trelvan.getData(0);
    // Every sample takes at least three bytes of the stream: a digit, a comma and a digit.
    if (samples.size() > size / 3 + 1) __builtin_trap();
    return 0;
}
