// Moving whole protocol messages over the VISA session, and the numeric encoding of their values.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include <trelvan/DynamicVisa.h>
#include "backends/sk/Sk.h"
#include "backends/sk/SkDiagnostics.h"
#include "backends/sk/SkVocabulary.h"
#include "base/VisaConstants.h"

namespace {

// Reads or writes that move nothing this many times in a row end the exchange: a peer that stopped
// talking must not hold the caller forever.
constexpr int kMaxEmptyTransfers = 3;
constexpr std::size_t kDiscardChunk = 4096;
constexpr std::size_t kParameterIdSize = 2;

void putLe16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

uint16_t getLe16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

bool isDoubleForm(unsigned len, unsigned frac) {
    return len == 8 && frac == 15;
}

// Truncates toward zero, saturating where the integer cannot hold the value.
int64_t toInt64(double v) {
    const double limit = std::ldexp(1.0, 63);
    if (std::isnan(v)) return 0;
    if (v >= limit) return std::numeric_limits<int64_t>::max();
    if (v < -limit) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}

}  // namespace

bool SK::canExchange() const {
    return visa != nullptr && status != nullptr && session != nullptr;
}

ViStatus SK::SendData(unsigned char* data, unsigned long size) {
    if (!canExchange()) return VI_ERROR_INV_OBJECT;
    unsigned long sent = 0;
    int emptyWrites = 0;
    ViStatus result = VI_SUCCESS;
    do {
        *status = visa->viSetAttribute(*session, VI_ATTR_TMO_VALUE, kSkTimeoutMs);
        const ViUInt32 chunk =
            static_cast<ViUInt32>(std::min<unsigned long>(size - sent, std::numeric_limits<ViUInt32>::max()));
        ViUInt32 written = 0;
        result = visa->viWrite(*session, data + sent, chunk, &written);
        *status = result;
        // A write that timed out is retried with what is still unsent; anything else is final.
        if (result != VI_SUCCESS && result != VI_ERROR_TMO) return result;
        written = std::min(written, chunk);
        sent += written;
        if (written == 0 && chunk > 0) {
            if (++emptyWrites >= kMaxEmptyTransfers) return *status = VI_ERROR_TMO;
        } else {
            emptyWrites = 0;
        }
    } while (sent < size);
    return result;
}

// At least one read request is made, so an empty body costs one read for 0 bytes.
ViStatus SK::readExactly(unsigned char* into, unsigned long count) {
    unsigned long got = 0;
    int emptyReads = 0;
    do {
        const ViUInt32 want = static_cast<ViUInt32>(count - got);
        ViUInt32 n = 0;
        *status = visa->viRead(*session, into + got, want, &n);
        if (*status != VI_SUCCESS) return *status;
        n = std::min(n, want);
        got += n;
        if (n == 0 && want > 0) {
            if (++emptyReads >= kMaxEmptyTransfers) return *status = VI_ERROR_TMO;
        } else {
            emptyReads = 0;
        }
    } while (got < count);
    return VI_SUCCESS;
}

// Reads and drops a body that does not fit the receive buffer, so the next message starts in step.
ViStatus SK::discardBody(unsigned long count) {
    unsigned char scratch[kDiscardChunk];
    while (count > 0) {
        const unsigned long chunk = std::min<unsigned long>(count, sizeof scratch);
        const ViStatus result = readExactly(scratch, chunk);
        if (result != VI_SUCCESS) return result;
        count -= chunk;
    }
    return VI_SUCCESS;
}

ViStatus SK::ReceiveData(unsigned char** message, unsigned long* size, int timeoutMs) {
    if (!canExchange()) return VI_ERROR_INV_OBJECT;
    *status = visa->viSetAttribute(*session, VI_ATTR_TMO_VALUE, static_cast<ViUInt32>(timeoutMs));
    if (*status != VI_SUCCESS) return *status;
    if (size != nullptr) *size = 0;

    CommandHead head;
    ViStatus result = readExactly(reinterpret_cast<unsigned char*>(&head), kSkHeadSize);
    if (result != VI_SUCCESS) return result;
    // Without the signature the stream has lost step; nothing of it is kept.
    if (head.Signature != kSkSignature) return VI_ERROR_RAW_RD_PROT_VIOL;
    if (head.BodyLen > kSkMaxBodyLen) {
        result = discardBody(head.BodyLen);
        return result != VI_SUCCESS ? result : VI_ERROR_RAW_RD_PROT_VIOL;
    }

    std::memcpy(m_receiveBuffer, &head, kSkHeadSize);
    result = readExactly(m_receiveBuffer + kSkHeadSize, head.BodyLen);
    if (result != VI_SUCCESS) return result;
    if (size != nullptr) *size = kSkHeadSize + head.BodyLen;
    if (message != nullptr) *message = m_receiveBuffer;
    return *status;
}

std::size_t SK::composeBareHeader(unsigned char* out, unsigned short command) {
    const CommandHead head{kSkSignature, command, kSkRequestStatus, 0, 0, 0, ++m_requestCounter};
    std::memcpy(out, &head, kSkHeadSize);
    return kSkHeadSize;
}

ViStatus SK::sendBareHeader(unsigned short command) {
    unsigned char message[kSkHeadSize];
    return SendData(message, composeBareHeader(message, command));
}

std::size_t SK::composeParameter(unsigned char* out, unsigned short command, unsigned short pid,
                                 unsigned char num, unsigned char lenFrac, const double* values) {
    const unsigned len = lenFrac >> 4;
    const unsigned frac = lenFrac & 0x0F;
    const CommandHead head{kSkSignature,
                           command,
                           kSkRequestStatus,
                           static_cast<uint16_t>(kParameterIdSize + num * len),
                           static_cast<uint16_t>(num | (lenFrac << 8)),
                           0,
                           ++m_requestCounter};
    std::memcpy(out, &head, kSkHeadSize);
    putLe16(out + kSkHeadSize, pid);
    for (unsigned i = 0; i < num; ++i) {
        WriteComplexValue(values != nullptr ? values[i] : 0.0, out, kSkHeadSize + kParameterIdSize, i, len,
                          frac);
    }
    return kSkHeadSize + kParameterIdSize + num * len;
}

ViStatus SK::SendParameter(unsigned short command, unsigned short pid, unsigned char num,
                           unsigned char lenFrac, double* values) {
    if (!canExchange()) return VI_ERROR_INV_OBJECT;
    unsigned char message[kSkMaxParameterMessage];
    *status = SendData(message, composeParameter(message, command, pid, num, lenFrac, values));
    return *status;
}

ViStatus SK::ReceiveParameter(unsigned short& pid, double* values, CommandHead** head, unsigned char** body,
                              unsigned capacity) {
    if (!canExchange()) return VI_ERROR_INV_OBJECT;
    unsigned char* message = nullptr;
    unsigned long size = 0;
    *status = ReceiveData(&message, &size, kSkTimeoutMs);
    if (*status != VI_SUCCESS) return *status;

    CommandHead* rcvHead = reinterpret_cast<CommandHead*>(message);
    if (head != nullptr) *head = rcvHead;
    if (body != nullptr) *body = message + kSkHeadSize;
    if (!(rcvHead->BodyLen >= 2 && (rcvHead->Command == MI_SET || rcvHead->Command == MI_GET))) {
        reportSkCheck("rcvHead->BodyLen >= 2 && (rcvHead->Command == MI_SET || rcvHead->Command == MI_GET)",
                      537);
        if (rcvHead->BodyLen < 2) return *status;
    }
    pid = getLe16(message + kSkHeadSize);

    const unsigned num = rcvHead->Flags & 0xFF;
    const unsigned len = rcvHead->Flags >> 12;
    const unsigned frac = (rcvHead->Flags >> 8) & 0x0F;
    const unsigned wanted = values != nullptr ? std::min(num, capacity) : 0;
    // Values the header announces but the body does not carry read as 0, not as stale bytes.
    const unsigned carried = len > 0 ? (rcvHead->BodyLen - kParameterIdSize) / len : 0;
    for (unsigned i = 0; i < wanted; ++i) {
        values[i] =
            i < carried ? ReadComplexValue(message, kSkHeadSize + kParameterIdSize, i, true, len, frac) : 0.0;
    }
    return *status;
}

ViStatus SK::ReceiveParameter(unsigned short& pid, double* values, CommandHead** head, unsigned char** body) {
    return ReceiveParameter(pid, values, head, body, kSkMaxValues);
}

ViStatus SK::ProcessParameter(unsigned short command, unsigned short pid, unsigned char num,
                              unsigned char lenFrac, double* values, CommandHead** head) {
    return ProcessParameter(command, pid, num, lenFrac, values, head, kSkMaxValues);
}

ViStatus SK::ProcessParameter(unsigned short command, unsigned short pid, unsigned char num,
                              unsigned char lenFrac, double* values, CommandHead** head, unsigned capacity) {
    const ViStatus sent = SendParameter(command, pid, num, lenFrac, values);
    if (sent != VI_SUCCESS) return sent;
    unsigned short recvPID = 0;
    const ViStatus result = ReceiveParameter(recvPID, values, head, nullptr, capacity);
    if (result == VI_SUCCESS && recvPID != pid) reportSkCheck("recvPID == PID", 580);
    return result;
}

ViStatus SK::ProcessReset() {
    if (!canExchange()) return VI_ERROR_INV_OBJECT;
    *status = sendBareHeader(MI_RESET);
    if (*status != VI_SUCCESS) return *status;
    unsigned char* message = nullptr;
    unsigned long size = 0;
    *status = ReceiveData(&message, &size, kSkTimeoutMs);
    return *status;
}

void SK::WriteComplexValue(double value, unsigned char* message, unsigned int offset, unsigned int index,
                           unsigned int len, unsigned int frac) {
    if (isDoubleForm(len, frac)) {
        uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        unsigned char* p = message + offset + index * 8;
        for (unsigned k = 0; k < 8; ++k) p[k] = static_cast<unsigned char>(bits >> (8 * k));
        return;
    }
    double scaled = std::ldexp(value, static_cast<int>(8 * frac));
    scaled += scaled >= 0 ? 0.5 : -0.5;  // half away from zero, then truncate
    const int64_t n = toInt64(scaled);
    const uint64_t bits = static_cast<uint64_t>(n);
    unsigned char* p = message + offset + index * len;
    for (unsigned k = 0; k < len; ++k) {
        p[k] = k < 8 ? static_cast<unsigned char>(bits >> (8 * k)) : (n < 0 ? 0xFF : 0x00);
    }
}

double SK::ReadComplexValue(const unsigned char* message, unsigned int offset, unsigned int index,
                            bool isSigned, unsigned int len, unsigned int frac) {
    if (isDoubleForm(len, frac)) {
        const unsigned char* p = message + offset + index * 8;
        uint64_t bits = 0;
        for (unsigned k = 0; k < 8; ++k) bits |= static_cast<uint64_t>(p[k]) << (8 * k);
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    if (len == 0) return 0.0;
    const unsigned char* p = message + offset + index * len;
    double sum = 0;
    double weight = 1;
    for (unsigned k = 0; k + 1 < len; ++k, weight *= 256) sum += p[k] * weight;
    // Values with fractional bytes are always signed; plain integers as the caller says.
    const bool signedTop = frac != 0 || isSigned;
    const int top = signedTop ? static_cast<signed char>(p[len - 1]) : p[len - 1];
    sum += top * weight;
    return std::ldexp(sum, -static_cast<int>(8 * frac));
}

bool SK::CheckLastCmdStatus() {
    return m_lastRunHeaderStatus >= static_cast<uint16_t>(SE_READ_TIMEOUT);
}
