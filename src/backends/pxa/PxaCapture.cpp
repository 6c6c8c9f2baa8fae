#include <algorithm>
#include <new>
#include <vector>

#include "backends/ErrorTexts.h"
#include "backends/SampleConversion.h"
#include "backends/pxa/Pxa.h"
#include "backends/pxa/PxaBlock.h"

void PXA::ReadBuf(std::string& reply, unsigned int count, unsigned long& retCount) {
    reply.clear();
    if (!linked()) return;
    link().readText(reply, count, retCount);
}

namespace trv::pxa {

void readSwappedPairs(ScpiLink link, QVector<IQ_Elem>* samples, unsigned int count, int& written) {
    if (samples == nullptr) return;
    if (count == 0) count = trv::pxa::kChunkBytes;
    unsigned char small[trv::pxa::kChunkBytes];
    std::vector<unsigned char> large;
    unsigned char* buffer = small;
    if (count > trv::pxa::kChunkBytes) {
        large.resize(count);
        buffer = large.data();
    }
    // A pair split between reads waits in the buffer for its second half; a split pair at the end
    // of the count is dropped.
    ViUInt32 received = 0;
    link.read(buffer, count, [&](ViUInt32 held) { received = held; });
    if (written < 0) return;
    const std::size_t pairs =
        std::min<std::size_t>(received / trv::pxa::kBytesPerSample, std::max(samples->size() - written, 0));
    trv::convert::fromLittleEndianFloats(buffer, samples->data() + written, pairs);
    written += static_cast<int>(pairs);
}

}  // namespace trv::pxa

void PXA::ReadBufFloat(QVector<IQ_Elem>* samples, unsigned int count, int& written) {
    if (linked()) trv::pxa::readSwappedPairs(link(), samples, count, written);
}

namespace {
constexpr int kPresizeLimit = 1 << 22;
}  // namespace

void PXA::getData(QVector<IQ_Elem>* samples) {
    if (samples == nullptr) return;
    samples->resize(0);
    if (!linked()) return;
    if (*status == VI_SUCCESS && !captureBlock(samples)) {
        samples->resize(0);
        link().drain();
    }
    if (*status == VI_ERROR_TMO) link().reopen();
}

// False when what arrived was not a well-formed block; the samples are then worthless.
bool PXA::captureBlock(QVector<IQ_Elem>* samples) {
    trv::pxa::ScpiLink scpi = link();
    scpi.opc();
    scpi.setTimeout(trv::pxa::kExchangeTimeoutMs);
    scpi.opc();
    // While the instrument composes its block, the host's storage is zeroed up to the size it held
    // before (within a bound): a host that reads blocks of one size leaves the resize below nothing to do.
    const int earlier = std::min(samples->capacity(), kPresizeLimit);
    const long long length =
        scpi.requestBlock(trv::pxa::ByteOrder::Swapped, [&] { samples->resize(earlier); });
    if (length < 0) return false;
    try {
        samples->resize(static_cast<int>(length / trv::pxa::kBytesPerSample));
    } catch (const std::bad_alloc&) {
        scpi.setTimeout(TRELVAN_TMO_RELAXED);
        return false;
    }
    // The data land in the upper half of the samples' own storage and each piece is widened in place at
    // once: sample k's result ends where the packed values of sample k start, so nothing still to be
    // converted is overwritten. Bytes beyond the whole samples are read and dropped.
    const int size = samples->size();
    IQ_Elem* out = samples->data();
    unsigned char* packed =
        reinterpret_cast<unsigned char*>(out) + std::size_t(size) * trv::pxa::kBytesPerSample;
    const long long room = static_cast<long long>(size) * trv::pxa::kBytesPerSample;
    long long stored = 0;
    int written = 0;
    const trv::pxa::BlockEnd end = scpi.readBlockData(length, [&](unsigned int piece) {
        const ViUInt32 direct = static_cast<ViUInt32>(std::min<long long>(piece, room - stored));
        ViUInt32 held = 0;
        scpi.read(packed + stored, direct, piece, [&](ViUInt32 bytes) { held = bytes; });
        stored += held;
        const int pairs = static_cast<int>(stored / trv::pxa::kBytesPerSample) - written;
        trv::convert::fromLittleEndianFloats(packed + std::size_t(written) * trv::pxa::kBytesPerSample,
                                             out + written, static_cast<std::size_t>(pairs));
        written += pairs;
    });
    // What the upper half still holds is packed data, not samples.
    std::fill(out + written, out + size, IQ_Elem{0, 0});
    return end != trv::pxa::BlockEnd::Shifted;
}

QVector<Error> PXA::getErr() {
    QVector<Error> list;
    if (!linked()) return list;
    if (error->code != 0) list.append(*error);
    if (*status != VI_SUCCESS) {
        list.append(Error{trv::errors::kVisaTimeoutCode, trv::errors::visaTimeoutText()});
        return list;
    }
    link().readErrorQueue(list);
    return list;
}
