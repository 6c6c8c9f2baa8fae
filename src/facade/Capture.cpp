// The facade's own N9030A captures over its session: the vector data as ASCII text or as a binary block.
#include <QLocale>

#include <trelvan/Split.h>
#include "backends/pxa/PxaScpi.h"
#include "facade/Facade.h"

namespace {

using Samples = std::vector<std::complex<double>>;

trv::pxa::ScpiLink linkOf(Trelvan& t) {
    return trv::pxa::ScpiLink(t.visa, t.status, t.session, t.resourceManager, t.device);
}

// Both captures talk only to an N9030A; on anything else they only repair a timed-out session.
bool startsCapture(Trelvan& t) {
    if (t.isPXA) return true;
    if (t.status == VI_ERROR_TMO) linkOf(t).reopen();
    return false;
}

}  // namespace

std::vector<std::complex<double>> Trelvan::getData(int) {
    Samples result;
    if (!startsCapture(*this)) return result;
    std::string text;
    if (status == 0) text = linkOf(*this).requestAsciiData();
    const std::vector<QString> pieces = QSplit(text, ",");
    result.reserve(pieces.size() / 2);
    const QLocale c = QLocale::c();
    for (size_t k = 0; 2 * k + 1 < pieces.size(); ++k) {
        bool okI = false, okQ = false;
        const double i = c.toDouble(pieces[2 * k].trimmed(), &okI);
        const double q = c.toDouble(pieces[2 * k + 1].trimmed(), &okQ);
        if (okI && okQ) result.emplace_back(i, q);
    }
    if (status == VI_ERROR_TMO) linkOf(*this).reopen();
    return result;
}

std::vector<std::complex<double>> Trelvan::getData(double) {
    Samples result;
    if (!startsCapture(*this)) return result;
    std::vector<double> values;
    if (status == 0) {
        trv::pxa::ScpiLink link = linkOf(*this);
        link.opc();
        link.setTimeout(trv::pxa::kExchangeTimeoutMs);
        link.points();
        // The values come big-endian, as the float reader decodes them.
        const long long length = link.requestBlock(trv::pxa::ByteOrder::Normal);
        if (length < 0) {
            // Not the start of a block we can read: drop what is pending and deliver nothing.
            link.drain();
        } else {
            const size_t announced = static_cast<size_t>(length / 4);
            // Filled as the data arrives rather than allocated up front, so a length the instrument
            // announces but never sends costs nothing until the end.
            values.reserve(std::min<size_t>(announced, 1u << 20));
            std::vector<double> piece;
            unsigned long got = 0;
            const trv::pxa::BlockEnd end = link.readBlockData(length, [&](unsigned int size) {
                ReadBufFloat(piece, size, got);
                const size_t room = announced - values.size();
                values.insert(values.end(), piece.begin(), piece.begin() + std::min(room, piece.size()));
            });
            if (end == trv::pxa::BlockEnd::Shifted) {
                link.drain();
                values.clear();
            } else {
                // What a cut-short block did not deliver comes back as zeros.
                values.resize(announced, 0.0);
            }
        }
    }
    result.reserve(values.size() / 2);
    for (size_t k = 0; 2 * k + 1 < values.size(); ++k) result.emplace_back(values[2 * k], values[2 * k + 1]);
    if (status == VI_ERROR_TMO) linkOf(*this).reopen();
    return result;
}
