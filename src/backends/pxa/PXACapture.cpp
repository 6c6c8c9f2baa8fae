#include <algorithm>
#include <new>
#include <vector>

#include "backends/ErrorTexts.h"
#include "backends/pxa/Block.h"
#include "backends/pxa/PXA.h"

void PXA::ReadBuf(std::string& reply, unsigned int count, unsigned long& retCount) {
    reply.clear();
    if (!linked()) return;
    link().readText(reply, count, retCount);
}

namespace pxa {

void readSwappedPairs(ScpiLink link, QVector<IQ_Elem>* samples, unsigned int count, int& written) {
    if (samples == nullptr) return;
    if (count == 0) count = pxa::kChunkBytes;
    unsigned char small[pxa::kChunkBytes];
    std::vector<unsigned char> large;
    unsigned char* buffer = small;
    if (count > pxa::kChunkBytes) {
        large.resize(count);
        buffer = large.data();
    }
    IQ_Elem* out = samples->data();
    const int size = samples->size();
    ViUInt32 converted = 0;
    link.read(buffer, count, [&](ViUInt32 received) {
        // A pair split between reads waits in the buffer for its second half.
        for (; converted + pxa::kBytesPerSample <= received; converted += pxa::kBytesPerSample) {
            if (written < 0 || written >= size) continue;
            out[written++] = pxa::swappedPair(buffer + converted);
        }
    });
}

}  // namespace pxa

void PXA::ReadBufFloat(QVector<IQ_Elem>* samples, unsigned int count, int& written) {
    if (linked()) pxa::readSwappedPairs(link(), samples, count, written);
}

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
    pxa::ScpiLink scpi = link();
    scpi.opc();
    scpi.setTimeout(pxa::kExchangeTimeoutMs);
    scpi.opc();
    const long long length = scpi.requestBlock(pxa::ByteOrder::Swapped);
    if (length < 0) return false;
    try {
        samples->resize(static_cast<int>(length / pxa::kBytesPerSample));
    } catch (const std::bad_alloc&) {
        scpi.setTimeout(TRELVAN_TMO_RELAXED);
        return false;
    }
    int written = 0;
    return scpi.readBlockData(length, [&](unsigned int piece) { ReadBufFloat(samples, piece, written); }) !=
           pxa::BlockEnd::Shifted;
}

QVector<Error> PXA::getErr() {
    QVector<Error> list;
    if (!linked()) return list;
    if (error->code != 0) list.append(*error);
    if (*status != VI_SUCCESS) {
        list.append(Error{errors::kVisaTimeoutCode, errors::visaTimeoutText()});
        return list;
    }
    link().readErrorQueue(list);
    return list;
}
