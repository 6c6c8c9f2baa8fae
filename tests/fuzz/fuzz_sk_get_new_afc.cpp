// The instrument's frequency-response table, as the two replies to MI_GET P_RESPONSE_FREQUENCY and
// P_RESPONSE_AMPLITUDE, and the correction of a block with whatever table arrived (unordered, one
// point, spans of any size). Input: a control byte (see FuzzVisa), the block length (12 bits), centre
// frequency and sample rate in Hz (32 bits each), then the stream.
#include "SkHarness.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

unsigned bodyLen(const std::string& stream, size_t at) {
    if (stream.size() < at + kSkHeadSize) return 0;
    return static_cast<unsigned char>(stream[at + 6]) | static_cast<unsigned char>(stream[at + 7]) << 8;
}

// The most table points a reply's body can hold past the two leading values.
size_t room(unsigned bodyLength, unsigned offset, unsigned bytes) {
    return bodyLength >= offset ? (bodyLength - offset) / bytes : 0;
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
    const size_t length = in.u16() & 0xFFF;
    h.params.frequency = in.u32();
    h.params.sampleRate = in.u32();
    h.instrument.stream = in.rest();
    const std::string sent = h.instrument.stream;

    SK& sk = *h.sk;
    sk.GetNewAFC(&sk.m_responseFrequencies, &sk.m_responseAmplitudes);
    // However many points a reply states, the table holds no more than its body carries.
    const unsigned first = bodyLen(sent, 0);
    check(sk.m_responseFrequencies.size() <= room(first, 14, 6));
    check(sk.m_responseAmplitudes.size() <= room(bodyLen(sent, kSkHeadSize + first), 10, 4));

    h.status = VI_SUCCESS;
    std::vector<std::complex<double>> block(length);
    for (size_t k = 0; k < length; ++k) block[k] = {double(k % 7) - 3, double(k % 5) - 2};
    sk.PostProcessing(&block);
    return 0;
}
