// The SK protocol's replies as they come off the socket, from an instrument that may send any header,
// status, length, value format or count. The backend is built unconnected (no start-up exchange) and
// given the facade's records, so the input drives only the exchange under test.
// Input: a selector byte, a control byte (see configure), then what the selected exchange takes:
// 0 parameter replies: the caller's room for values (a byte), then the stream;
// 1 an MI_RUN acquisition: the samples requested (14 bits: up to two data replies), the points the
//   acquisition that follows delivers (16 bits), then the stream;
// 2 the frequency-response table (the replies to P_RESPONSE_FREQUENCY and P_RESPONSE_AMPLITUDE) and the
//   correction of a block with it: the block length (12 bits), centre frequency and sample rate in Hz
//   (32 bits each), then the stream.
#include <memory>
#include <vector>

#include "FuzzInput.h"
#include "backends/sk/Sk.h"
#include "support/LogCapture.h"
#include "support/Records.h"
#include "support/SkScripted.h"

namespace {

unsigned bodyLength(const std::string& stream, size_t at) {
    if (stream.size() < at + kSkHeadSize) return 0;
    return static_cast<unsigned char>(stream[at + 6]) | static_cast<unsigned char>(stream[at + 7]) << 8;
}

// The most table points a reply's body can hold past its two leading values.
size_t room(unsigned body, unsigned lead, unsigned bytes) {
    return body >= lead ? (body - lead) / bytes : 0;
}

void parameterReplies(SK& sk, support::Records& r, support::ScriptedVisa& link, FuzzInput& in) {
    const unsigned capacity = in.byte();
    link.stream = in.rest();
    // Exactly the room the caller declares, on the heap, so a value stored past it is caught.
    std::vector<double> values(capacity);
    for (int reply = 0; reply < 8 && r.status == VI_SUCCESS && !link.stream.empty(); ++reply) {
        unsigned short pid = 0;
        CommandHead* head = nullptr;
        unsigned char* body = nullptr;
        if (sk.ReceiveParameter(pid, values.data(), &head, &body, capacity) != VI_SUCCESS) break;
        // What is handed out lies in the receive buffer, header and the whole body.
        check(reinterpret_cast<unsigned char*>(head) == sk.m_receiveBuffer);
        check(body == sk.m_receiveBuffer + kSkHeadSize &&
              kSkHeadSize + head->BodyLen <= kSkReceiveBufferSize);
    }
}

void acquisition(SK& sk, support::Records& r, support::ScriptedVisa& link, FuzzInput& in) {
    const unsigned requested = in.u16() & 0x3FFF;
    const int points = in.u16();
    link.stream = in.rest();
    std::vector<std::complex<double>> samples(requested);
    unsigned received = 0;
    sk.GetSamples(&samples, requested, received);
    // Filled in place or, after a reply without samples, emptied; never resized otherwise.
    check(samples.size() == requested || samples.empty());
    // While the link is good, every data reply asked for has been read: the next exchange is in step.
    if (r.status == VI_SUCCESS) check(sk.m_nRUNcounter == 0);
    // A whole acquisition over what is left, without a response table: the block comes as it came.
    sk.m_blockPoints = static_cast<int>(requested);
    sk.m_numPoints = points;
    QVector<IQ_Elem> out;
    sk.getData(&out);
    check(out.isEmpty() || out.size() == points);
}

void responseTable(SK& sk, support::Records& r, support::ScriptedVisa& link, FuzzInput& in) {
    const size_t length = in.u16() & 0xFFF;
    r.params.frequency = in.u32();
    r.params.sampleRate = in.u32();
    link.stream = in.rest();
    const std::string sent = link.stream;
    sk.GetNewAFC(&sk.m_responseFrequencies, &sk.m_responseAmplitudes);
    // However many points a reply states, the table holds no more than its body carries.
    const unsigned first = bodyLength(sent, 0);
    check(sk.m_responseFrequencies.size() <= room(first, 14, 6));
    check(sk.m_responseAmplitudes.size() <= room(bodyLength(sent, kSkHeadSize + first), 10, 4));
    r.status = VI_SUCCESS;
    std::vector<std::complex<double>> block(length);
    for (size_t k = 0; k < length; ++k) block[k] = {double(k % 7) - 3, double(k % 5) - 2};
    sk.PostProcessing(&block);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    support::silenceLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t selector = in.byte() % 3;
    support::ScriptedVisa link;
    configure(link, in.byte());
    support::Records r("TCPIP::127.0.0.1::8888::SOCKET");
    link.install(r.visa);
    auto sk = support::skWithoutStartUp(r);
    if (selector == 0) parameterReplies(*sk, r, link, in);
    if (selector == 1) acquisition(*sk, r, link, in);
    if (selector == 2) responseTable(*sk, r, link, in);
    return 0;
}
