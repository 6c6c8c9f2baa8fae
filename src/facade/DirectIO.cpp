// Direct I/O over the facade's own session, through the N9030A's SCPI link: the readers, the
// operation-complete wait, one error-queue entry and a command pass-through.
#include <cmath>
#include <cstring>
#include <vector>

#include "backends/pxa/PxaScpi.h"
#include "facade/Facade.h"

namespace {

trv::pxa::ScpiLink linkOf(Trelvan& t) {
    return trv::pxa::ScpiLink(t.visa, t.status, t.session, t.resourceManager, t.device);
}

float bigEndianFloat(const unsigned char* p) {
    const uint32_t bits = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

}  // namespace

int Trelvan::ReadBuf(std::string& reply, unsigned int count, unsigned long& retCount) {
    linkOf(*this).readText(reply, count, retCount);
    return -1;
}

// A buffer of `count` bytes, as the caller asks; the values are big-endian floats.
int Trelvan::ReadBufFloat(std::vector<double>& values, unsigned int count, unsigned long& retCount) {
    values.clear();
    if (count == 0) count = trv::pxa::kChunkBytes;
    std::vector<unsigned char> buffer(count);
    size_t decoded = 0;
    const trv::pxa::ReadEnd end = linkOf(*this).read(buffer.data(), count, [&](ViUInt32 received) {
        for (; decoded + 4 <= received; decoded += 4) values.push_back(bigEndianFloat(&buffer[decoded]));
    });
    if (end == trv::pxa::ReadEnd::LostEmpty) return -1;
    retCount = values.size();
    return -1;
}

int Trelvan::ReadBufFloat(QVector<IQ_Elem>* samples, unsigned int count, int& written) {
    trv::pxa::readSwappedPairs(linkOf(*this), samples, count, written);
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
    for (unsigned k = 0; k + 1 < len; ++k)
        sum += std::ldexp(static_cast<double>(p[k]), 8 * static_cast<int>(k));
    const unsigned char top = p[len - 1];
    const double high = (frac == 0 && !isSigned) ? static_cast<double>(top)
                                                 : static_cast<double>(static_cast<signed char>(top));
    sum += std::ldexp(high, 8 * static_cast<int>(len - 1));
    return std::ldexp(sum, -8 * static_cast<int>(frac));
}

int Trelvan::OPCquery() {
    return linkOf(*this).opcQuery();
}

int Trelvan::OPC() {
    return linkOf(*this).opc();
}

std::string Trelvan::getErrors(int) {
    if (!isPXA || status != 0) return std::string();
    return linkOf(*this).nextError();
}

std::string Trelvan::CustomCommand(std::string command, bool query) {
    if (!isPXA || status != 0) return std::string();
    trv::pxa::ScpiLink link = linkOf(*this);
    if (!query) {
        link.command(command.c_str());
        return std::string();
    }
    link.setTimeout(trv::pxa::kExchangeTimeoutMs);
    std::string reply = link.query(command.c_str());
    link.setTimeout(TRELVAN_TMO_RELAXED);
    return reply;
}
