// Parameter replies of the SK protocol as they come off the socket: headers with any signature,
// command, length and value format. Input: a control byte (see FuzzVisa), a byte giving the caller's
// room for values, then the stream.
#include <vector>

#include "SkHarness.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceQtLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    SkHarness h;
    h.instrument.configure(in.byte());
    const unsigned capacity = in.byte();
    h.instrument.stream = in.rest();
    // Exactly the room the caller declares, on the heap, so a value written past it is caught.
    std::vector<double> values(capacity);
    const unsigned char* buffer = h.sk->m_receiveBuffer;
    for (int reply = 0; reply < 8 && h.status == VI_SUCCESS && !h.instrument.stream.empty(); ++reply) {
        unsigned short pid = 0;
        CommandHead* head = nullptr;
        unsigned char* body = nullptr;
        const ViStatus result = h.sk->ReceiveParameter(pid, values.data(), &head, &body, capacity);
        if (result != VI_SUCCESS) break;
        // What is handed out lies in the receive buffer, header and the whole body.
        if (reinterpret_cast<unsigned char*>(head) != buffer || body != buffer + kSkHeadSize)
            __builtin_trap();
        if (kSkHeadSize + head->BodyLen > kSkReceiveBufferSize) __builtin_trap();
    }
    return 0;
}
