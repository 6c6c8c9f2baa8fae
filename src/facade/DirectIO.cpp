// Direct SCPI I/O over the facade's own session: chunked readers, the operation-complete wait,
// one error-queue entry and a command pass-through.
#include <cmath>
#include <cstring>

#include "facade/Trelvan.h"
#include "util/Numbers.h"

namespace {

constexpr unsigned kChunk = 1024;
constexpr ViUInt32 kQueryTimeoutMs = 1000;
// "*OPC?" blocks on the instrument until its operations complete, so an answer other than 1 means a
// confused instrument; after this many such answers the wait gives up.
constexpr int kMaxOpcQueries = 50;
// Bounds on one reader call, whatever the instrument does: reads made and bytes kept.
constexpr int kMaxReadsPerCall = 256;
constexpr size_t kMaxBytesPerCall = 64 * kChunk;

enum class ReadEnd { Stopped, LostEmpty };

// The readers' shared loop. A read that fills its count ends the call unless the VISA library says more
// follows; a read cut short by a timeout is topped up with a read of just the remainder, so a caller that
// asks for a header or a piece of known size never gets bytes of what comes after it. Three empty reads
// in a row, or a lost link, end the call.
ReadEnd readWithRetry(Trelvan& t, unsigned count, std::string& bytes) {
    bytes.clear();
    unsigned char buffer[kChunk];
    int emptyReads = 0;
    for (int reads = 0; reads < kMaxReadsPerCall && bytes.size() < kMaxBytesPerCall; ++reads) {
        const unsigned want = count - static_cast<unsigned>(bytes.size() % count);
        ViUInt32 got = 0;
        t.status = t.visa.viRead(t.session, buffer, want, &got);
        if (got > want) got = want;
        const bool more = t.status == VI_ERROR_TMO || t.status == VI_SUCCESS_MAX_CNT;
        if (got > 0) {
            bytes.append(reinterpret_cast<const char*>(buffer), got);
            emptyReads = 0;
            if (!more) break;
            continue;
        }
        if (t.status == VI_ERROR_CONN_LOST) return ReadEnd::LostEmpty;
        if (!more || ++emptyReads >= 3) break;
    }
    return ReadEnd::Stopped;
}

unsigned chunkSize(unsigned count) { return (count == 0 || count > kChunk) ? kChunk : count; }

float bigEndianFloat(const unsigned char* p) {
    const uint32_t bits = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

float littleEndianFloat(const unsigned char* p) {
    const uint32_t bits = (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace

int Trelvan::ReadBuf(std::string& reply, unsigned int count, unsigned long& retCount) {
    visa.viSetAttribute(session, VI_ATTR_TMO_VALUE, kQueryTimeoutMs);
    // A lost link ends the read at once: the timeout and the count are left as they were.
    if (readWithRetry(*this, chunkSize(count), reply) == ReadEnd::LostEmpty) return -1;
    visa.viSetAttribute(session, VI_ATTR_TMO_VALUE, TRELVAN_TMO_RELAXED);
    retCount = reply.size();
    return -1;
}

int Trelvan::ReadBufFloat(std::vector<double>& values, unsigned int count, unsigned long& retCount) {
    values.clear();
    std::string bytes;
    const ReadEnd end = readWithRetry(*this, chunkSize(count), bytes);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t k = 0; k + 4 <= bytes.size(); k += 4) values.push_back(bigEndianFloat(p + k));
    if (end == ReadEnd::LostEmpty) return -1;
    retCount = values.size();
    return -1;
}

int Trelvan::ReadBufFloat(QVector<IQ_Elem>* samples, unsigned int count, int& written) {
    std::string bytes;
    readWithRetry(*this, chunkSize(count), bytes);
    if (samples == nullptr) return -1;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t k = 0; k + 8 <= bytes.size(); k += 8) {
        if (written < 0 || written >= samples->size()) break;
        (*samples)[written++] = IQ_Elem{littleEndianFloat(p + k), littleEndianFloat(p + k + 4)};
    }
    return -1;
}

double Trelvan::ReadComplexValue(const unsigned char* message, unsigned int offset, unsigned int index,
                                 bool isSigned, unsigned int len, unsigned int frac) {
    if (message == nullptr || len == 0 || len > 8) return 0.0;
    const unsigned char* p = message + offset + static_cast<size_t>(index) * len;
    if (len == 8 && frac == 15) {
        double d;
        std::memcpy(&d, p, sizeof d);
        return d;
    }
    double sum = 0.0;
    for (unsigned k = 0; k + 1 < len; ++k) sum += std::ldexp(static_cast<double>(p[k]), 8 * static_cast<int>(k));
    const unsigned char top = p[len - 1];
    const double high = (frac == 0 && !isSigned) ? static_cast<double>(top)
                                                 : static_cast<double>(static_cast<signed char>(top));
    sum += std::ldexp(high, 8 * static_cast<int>(len - 1));
    return std::ldexp(sum, -8 * static_cast<int>(frac));
}

int Trelvan::OPCquery() {
    if (status != 0) return VI_ERROR_TMO;
    char reply[128] = {};
    status = visa.viQueryf(session, const_cast<char*>("*OPC?\n"), const_cast<char*>("%127T"), reply);
    int answer = 0;
    // A reply with no number counts as "not complete yet".
    return trelvan_util::leadingInt(reply, answer) ? answer : 0;
}

int Trelvan::OPC() {
    int answer = VI_ERROR_TMO;
    for (int i = 0; i < kMaxOpcQueries; ++i) {
        answer = OPCquery();
        if (answer == 1 || answer == VI_ERROR_TMO) return answer;
    }
    return VI_ERROR_TMO;
}

std::string Trelvan::getErrors(int) {
    if (!isPXA || status != 0) return std::string();
    char reply[128] = {};
    OPC();
    status = visa.viQueryf(session, const_cast<char*>(":SYSTem:ERRor:NEXT? \n"), const_cast<char*>("%127T"),
                           reply);
    OPC();
    return std::string(reply);
}

std::string Trelvan::CustomCommand(std::string command, bool query) {
    if (!isPXA || status != 0) return std::string();
    char reply[128] = {};
    if (query) {
        visa.viSetAttribute(session, VI_ATTR_TMO_VALUE, kQueryTimeoutMs);
        status = visa.viQueryf(session, &command[0], const_cast<char*>("%127T"), reply);
        visa.viSetAttribute(session, VI_ATTR_TMO_VALUE, TRELVAN_TMO_RELAXED);
    } else {
        status = visa.viPrintf(session, &command[0]);
    }
    return std::string(reply);
}
