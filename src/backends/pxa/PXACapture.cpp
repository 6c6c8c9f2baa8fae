#include <QLocale>
#include <algorithm>
#include <new>
#include <vector>

#include "backends/pxa/Block.h"
#include "backends/pxa/PXA.h"
#include "backends/SampleConversion.h"
#include "facade/ErrorTexts.h"
#include "util/Split.h"
#include "visa/DynamicVisa.h"

namespace {

constexpr unsigned int kChunkBytes = 1024;
// Empty timeouts in a row after which a chunked read gives up.
constexpr int kMaxEmptyReads = 3;
// A bad block header leaves an unknown amount of data in flight. It is read away until the line has
// been quiet this long, in reads of kDrainBytes, never more than the largest block there can be.
constexpr unsigned int kDrainQuietMs = 200;
constexpr unsigned int kDrainBytes = 64 * 1024;
constexpr long long kMaxDrainReads = pxa::kMaxBlockBytes / kDrainBytes + 1;
// The queue of an N9030A holds far fewer entries; one that never empties is cut off here.
constexpr int kMaxErrorQueueReads = 128;
constexpr unsigned int kOpenTimeoutMs = 5000;

bool moreToCome(ViStatus s) {
    return s == VI_ERROR_TMO || s == VI_SUCCESS_MAX_CNT;
}

// Reads `count` bytes in as many reads as it takes: the first `room` of them to `direct`, the rest
// dropped. Stops early at a lost connection, at a status that says nothing more is coming, or after
// kMaxEmptyReads empty timeouts in a row. Gives the number of bytes read.
ViUInt32 readPiece(PXA& pxa, unsigned char* direct, ViUInt32 room, ViUInt32 count) {
    unsigned char spill[kChunkBytes];
    ViUInt32 received = 0;
    int empty = 0;
    while (received < count) {
        const bool inRoom = received < room;
        unsigned char* to = inRoom ? direct + received : spill;
        const ViUInt32 wanted =
            inRoom ? std::min(count, room) - received : std::min<ViUInt32>(count - received, kChunkBytes);
        ViUInt32 got = 0;
        *pxa.status = pxa.visa->viRead(*pxa.session, to, wanted, &got);
        got = std::min(got, wanted);
        if (got > 0) {
            received += got;
            empty = 0;
            if (got == wanted || moreToCome(*pxa.status)) continue;
            break;
        }
        if (*pxa.status == VI_ERROR_CONN_LOST) break;
        ++empty;
        if (!moreToCome(*pxa.status) || empty >= kMaxEmptyReads) break;
    }
    return received;
}

// The block's data, `length` bytes, in reads of kChunkBytes. They land in the upper half of the
// samples' own storage and each piece is widened in place at once: sample k's result ends where the
// packed values of sample k start, so nothing still to be converted is overwritten. False when the
// reads stopped short; the samples not reached are then zero.
bool readSamples(PXA& pxa, QVector<IQ_Elem>* samples, long long length) {
    const int size = samples->size();
    IQ_Elem* out = samples->data();
    unsigned char* packed = reinterpret_cast<unsigned char*>(out) + std::size_t(size) * pxa::kBytesPerSample;
    const long long room = static_cast<long long>(size) * pxa::kBytesPerSample;
    long long stored = 0;
    int written = 0;
    bool complete = true;
    for (long long remaining = length; remaining > 0;) {
        const ViUInt32 piece = static_cast<ViUInt32>(std::min<long long>(remaining, kChunkBytes));
        const ViUInt32 direct = static_cast<ViUInt32>(std::min<long long>(piece, room - stored));
        const ViUInt32 got = readPiece(pxa, packed + stored, direct, piece);
        stored += std::min(got, direct);
        const int pairs = static_cast<int>(stored / pxa::kBytesPerSample) - written;
        convert::fromLittleEndianFloats(packed + std::size_t(written) * pxa::kBytesPerSample, out + written,
                                        static_cast<std::size_t>(pairs));
        written += pairs;
        if (*pxa.status < VI_SUCCESS) {
            complete = false;
            break;
        }
        remaining -= piece;
    }
    // What the upper half still holds is packed data, not samples.
    std::fill(out + written, out + size, IQ_Elem{0, 0});
    return complete;
}

}  // namespace

// Both readers stop once they hold `count` bytes: our VISA ends a read that fills its count with
// VI_SUCCESS, another may say VI_SUCCESS_MAX_CNT, and either way the next bytes belong to someone else.
// A read cut short by a timeout is continued for the bytes still missing.
void PXA::ReadBuf(std::string& reply, unsigned int count, unsigned long& retCount) {
    reply.clear();
    if (!linked()) return;
    if (count == 0 || count > kChunkBytes) count = kChunkBytes;
    setTimeout(kExchangeTimeoutMs);
    unsigned char buffer[kChunkBytes];
    int empty = 0;
    while (reply.size() < count) {
        const ViUInt32 wanted = count - static_cast<ViUInt32>(reply.size());
        ViUInt32 got = 0;
        *status = visa->viRead(*session, buffer, wanted, &got);
        got = std::min(got, wanted);
        if (got > 0) {
            reply.append(reinterpret_cast<const char*>(buffer), got);
            empty = 0;
            if (moreToCome(*status)) continue;
            break;
        }
        if (*status == VI_ERROR_CONN_LOST) return;
        ++empty;
        if (!moreToCome(*status) || empty >= kMaxEmptyReads) break;
    }
    setTimeout(TRELVAN_TMO_RELAXED);
    retCount = reply.size();
}

void PXA::ReadBufFloat(QVector<IQ_Elem>* samples, unsigned int count, int& written) {
    if (!linked() || samples == nullptr) return;
    if (count == 0) count = kChunkBytes;
    unsigned char small[kChunkBytes];
    std::vector<unsigned char> large;
    unsigned char* buffer = small;
    if (count > kChunkBytes) {
        large.resize(count);
        buffer = large.data();
    }
    // A pair split between reads waits in the buffer for its second half; a split pair at the end
    // of the count is dropped.
    const ViUInt32 received = readPiece(*this, buffer, count, count);
    if (written < 0) return;
    const std::size_t pairs =
        std::min<std::size_t>(received / pxa::kBytesPerSample, std::max(samples->size() - written, 0));
    convert::fromLittleEndianFloats(buffer, samples->data() + written, pairs);
    written += static_cast<int>(pairs);
}

void PXA::getData(QVector<IQ_Elem>* samples) {
    if (samples == nullptr) return;
    samples->resize(0);
    if (!linked()) return;
    if (*status == VI_SUCCESS && !captureBlock(samples)) {
        samples->resize(0);
        discardPending();
    }
    if (*status == VI_ERROR_TMO) reopen();
}

// False when what arrived was not a well-formed block; the samples are then worthless.
bool PXA::captureBlock(QVector<IQ_Elem>* samples) {
    OPC();
    setTimeout(kExchangeTimeoutMs);
    OPC();
    command(":FORMat:TRACe:DATA REAL\n");
    command(":FORMat:BORDer SWAP\n");
    OPC();
    command(":CALCulate:VECTor:DATA2:RAW?\n");

    std::string reply;
    unsigned long got = 0;
    ReadBuf(reply, 2, got);
    const int digits = pxa::blockDigitCount(reply);
    long long length = -1;
    if (digits > 0) {
        ReadBuf(reply, digits, got);
        length = pxa::blockLength(reply, digits);
    }
    if (length < 0) {
        setTimeout(TRELVAN_TMO_RELAXED);
        return false;
    }
    try {
        samples->resize(static_cast<int>(length / pxa::kBytesPerSample));
    } catch (const std::bad_alloc&) {
        setTimeout(TRELVAN_TMO_RELAXED);
        return false;
    }

    // ReadBuf closed the exchange; the data must not run under the relaxed timeout, or a stalled
    // instrument would hold the host (and the facade's lock) for days.
    setTimeout(kExchangeTimeoutMs);
    const bool complete = readSamples(*this, samples, length);
    bool wellFormed = true;
    if (complete && *status == VI_SUCCESS) {
        ReadBuf(reply, 1, got);
        // Anything but the line end here means the header lied about the length: the data are shifted.
        if (*status == VI_SUCCESS && reply != std::string(1, pxa::kBlockEnd)) wellFormed = false;
    }
    setTimeout(TRELVAN_TMO_RELAXED);
    return wellFormed;
}

// Reads and drops whatever the instrument still sends after a block that could not be read, so that the
// next capture starts at a reply boundary.
void PXA::discardPending() {
    // After a timeout the session is re-opened anyway, and a lost connection has nothing left to read.
    if (*status != VI_SUCCESS) return;
    setTimeout(kDrainQuietMs);
    std::vector<unsigned char> sink(kDrainBytes);
    for (long long i = 0; i < kMaxDrainReads; ++i) {
        ViUInt32 got = 0;
        const ViStatus s = visa->viRead(*session, sink.data(), kDrainBytes, &got);
        if (got > 0 && (s == VI_SUCCESS || moreToCome(s) || s == VI_SUCCESS_TERM_CHAR)) continue;
        // A quiet line is what the drain waits for, not a failure; anything else is.
        if (s != VI_ERROR_TMO) *status = s;
        break;
    }
    setTimeout(TRELVAN_TMO_RELAXED);
}

void PXA::reopen() {
    // Our VISA refuses a second exclusive session on a resource this process still holds, so the old
    // session and its resource manager go first.
    if (*session != 0) visa->viClose(*session);
    if (*resourceManager != 0) visa->viClose(*resourceManager);
    *status = visa->viOpenDefaultRM(resourceManager);
    *status = visa->viOpen(*resourceManager, device->address, VI_EXCLUSIVE_LOCK, kOpenTimeoutMs, session);
}

QVector<Error> PXA::getErr() {
    QVector<Error> list;
    if (!linked()) return list;
    Error entry;
    if (error->code != 0) list.append(*error);
    if (*status != VI_SUCCESS) {
        list.append(Error{errors::kVisaTimeoutCode, errors::visaTimeoutText()});
        return list;
    }
    const QLocale c = QLocale::c();
    for (int i = 0; i < kMaxErrorQueueReads; ++i) {
        char reply[1024] = {};
        OPC();
        *status = visa->viQueryf(*session, const_cast<ViString>(":SYSTem:ERRor:NEXT? \n"),
                                 const_cast<ViString>("%1023T"), reply);
        const ViStatus queried = *status;
        OPC();
        if (queried != VI_SUCCESS) {
            // What the failed query left in the buffer is not an entry.
            list.append(Error{errors::kVisaTimeoutCode, errors::visaTimeoutText()});
            break;
        }
        reply[sizeof reply - 1] = '\0';
        const std::vector<QString> fields = QSplit(reply, ",");
        bool ok = false;
        const int code = fields.empty() ? 0 : c.toInt(fields[0].trimmed(), &ok);
        if (ok) {
            entry.code = code;
            entry.text = fields.size() > 1 ? fields[1] : QString();
        }
        list.append(entry);
        if (entry.code == 0 || *status != VI_SUCCESS) break;
    }
    return list;
}
