// The replies to an MI_RUN acquisition: per request pair a P_CLK parameter reply and a data reply, from
// an instrument that may send any header, status, length, sample format or count. Input: a control
// byte (see FuzzVisa), the samples requested (14 bits: up to two data replies, and a sample array
// small enough to allocate afresh for every input), the points delivered by the acquisition that
// follows (16 bits), then the stream.
#include "SkHarness.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceQtLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    SkHarness h;
    h.instrument.configure(in.byte());
    const unsigned requested = in.u16() & 0x3FFF;
    const int points = in.u16();
    h.instrument.stream = in.rest();

    std::vector<std::complex<double>> samples(requested);
    unsigned received = 0;
    h.sk->GetSamples(&samples, requested, received);
    // The array is filled in place or, after a reply without samples, emptied; never resized else.
    check(samples.size() == requested || samples.empty());
    // While the link is good, every data reply asked for has been read: the next exchange is in step.
    if (h.status == VI_SUCCESS) check(h.sk->m_nRUNcounter == 0);

    // A whole acquisition over what is left, without a response table: the block is delivered as it came.
    h.sk->m_blockPoints = static_cast<int>(requested);
    h.sk->m_numPoints = points;
    QVector<IQ_Elem> out;
    h.sk->getData(&out);
    check(out.isEmpty() || out.size() == points);
    return 0;
}
