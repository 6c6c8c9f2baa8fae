// The facade's own N9030A captures over its session: the vector data as ASCII text or as a binary block.
#include <QLocale>
#include <cmath>

#include "facade/Trelvan.h"
#include "util/Numbers.h"
#include "util/Split.h"

namespace {

constexpr unsigned kChunk = 1024;
constexpr int kBytesPerAsciiPoint = 33;
// The largest block we accept: far above any capture the instrument makes, far below what would
// exhaust the host. A binary block costs four times its size (values, then samples), and one cut short
// still gets all of them.
constexpr long long kMaxBlockBytes = 1LL << 28;
constexpr ViUInt32 kQueryTimeoutMs = 1000;
constexpr ViUInt32 kDrainTimeoutMs = 200;
constexpr int kMaxDrainReads = 4096;

using Samples = std::vector<std::complex<double>>;

// After a timeout the session is opened again on the same resource. The old sessions are closed first:
// the instrument is opened exclusively, so a second session beside a stale one would be refused.
void reopenSession(Trelvan& t) {
    if (t.session != 0) t.visa.viClose(t.session);
    if (t.resourceManager != 0) t.visa.viClose(t.resourceManager);
    t.status = t.visa.viOpenDefaultRM(&t.resourceManager);
    t.status = t.visa.viOpen(t.resourceManager, t.device.address, VI_EXCLUSIVE_LOCK, 5000, &t.session);
}

// Reads and drops whatever the instrument still sends, so the next exchange starts clean.
void drainPending(Trelvan& t) {
    t.visa.viSetAttribute(t.session, VI_ATTR_TMO_VALUE, kDrainTimeoutMs);
    unsigned char sink[64 * 1024];
    for (int i = 0; i < kMaxDrainReads; ++i) {
        ViUInt32 got = 0;
        const ViStatus s = t.visa.viRead(t.session, sink, sizeof sink, &got);
        if (got == 0 || s == VI_ERROR_CONN_LOST) break;
    }
}

// The request that starts both captures; false when the capture must not go on.
bool startsCapture(Trelvan& t, Samples& out) {
    if (t.isPXA) return true;
    if (t.status == VI_ERROR_TMO) reopenSession(t);
    out.clear();
    return false;
}

}  // namespace

std::vector<std::complex<double>> Trelvan::getData(int) {
    Samples result;
    if (!startsCapture(*this, result)) return result;
    std::string text;
    if (status == 0) {
        char reply[128] = {};
        OPC();
        status = visa.viQueryf(session, const_cast<char*>(":CALCulate:VECTor:DATA2:RAW:POINTs?\n"),
                               const_cast<char*>("%127T"), reply);
        OPC();
        int points = 0;
        trelvan_util::leadingInt(split(reply, "\n")[0], points);
        status = visa.viPrintf(session, const_cast<char*>(":CALCulate:VECTor:DATA2:RAW?\n"));
        const long long expected = static_cast<long long>(kBytesPerAsciiPoint) * points;
        if (expected > 0) {
            const long long limit = std::min(kMaxBlockBytes, (expected + kChunk - 1) / kChunk * kChunk);
            std::string piece;
            for (long long done = 0; done < limit; done += kChunk) {
                unsigned long got = 0;
                ReadBuf(piece, kChunk, got);
                text += piece;
                if (piece.size() != kChunk || status == VI_ERROR_TMO) break;
            }
        }
    }
    const std::vector<QString> pieces = QSplit(text, ",");
    result.reserve(pieces.size() / 2);
    const QLocale c = QLocale::c();
    for (size_t k = 0; 2 * k + 1 < pieces.size(); ++k) {
        bool okI = false, okQ = false;
        const double i = c.toDouble(pieces[2 * k], &okI);
        const double q = c.toDouble(pieces[2 * k + 1], &okQ);
        if (okI && okQ) result.emplace_back(i, q);
    }
    if (status == VI_ERROR_TMO) reopenSession(*this);
    return result;
}

std::vector<std::complex<double>> Trelvan::getData(double) {
    Samples result;
    if (!startsCapture(*this, result)) return result;
    std::vector<double> values;
    if (status == 0) {
        char reply[128] = {};
        OPC();
        visa.viSetAttribute(session, VI_ATTR_TMO_VALUE, kQueryTimeoutMs);
        status = visa.viQueryf(session, const_cast<char*>(":CALCulate:VECTor:DATA2:RAW:POINTs?\n"),
                               const_cast<char*>("%127T"), reply);
        OPC();
        status = visa.viPrintf(session, const_cast<char*>(":FORMat:TRACe:DATA REAL\n"));
        status = visa.viPrintf(session, const_cast<char*>(":CALCulate:VECTor:DATA2:RAW?\n"));

        std::string header;
        unsigned long got = 0;
        ReadBuf(header, 2, got);
        const int digits = (header.size() == 2 && header[0] == '#' && header[1] >= '1' && header[1] <= '9')
                               ? header[1] - '0'
                               : 0;
        std::string lengthText;
        if (digits > 0) ReadBuf(lengthText, static_cast<unsigned>(digits), got);
        double announced = -1;
        const bool valid = digits > 0 && static_cast<int>(lengthText.size()) == digits &&
                           lengthText.find_first_not_of("0123456789") == std::string::npos &&
                           trelvan_util::leadingDouble(lengthText, announced) && announced >= 0 &&
                           announced <= kMaxBlockBytes;
        if (!valid) {
            // Not the start of a block we can read: drop what is pending and deliver nothing.
            if (status == 0) drainPending(*this);
        } else {
            long long remaining = static_cast<long long>(announced);
            const size_t announcedValues = static_cast<size_t>(remaining / 4);
            // Filled as the data arrives rather than allocated up front, so a length the instrument
            // announces but never sends costs nothing until the end.
            values.reserve(std::min<size_t>(announcedValues, 1u << 20));
            std::vector<double> piece;
            const auto store = [&]() {
                const size_t room = announcedValues - values.size();
                values.insert(values.end(), piece.begin(), piece.begin() + std::min(room, piece.size()));
            };
            const long long last = remaining == 0 ? 0 : (remaining - 1) % kChunk + 1;
            // The header read ended its exchange with the relaxed timeout; the data must not wait under
            // it, or an instrument that stalls mid-block would hold the host for days.
            visa.viSetAttribute(session, VI_ATTR_TMO_VALUE, kQueryTimeoutMs);
            bool cut = false;
            bool shifted = false;
            while (remaining > last) {
                ReadBufFloat(piece, kChunk, got);
                store();
                if (status == VI_ERROR_TMO) {
                    cut = true;
                    break;
                }
                remaining -= kChunk;
            }
            if (!cut) {
                if (last > 0) {
                    ReadBufFloat(piece, static_cast<unsigned>(last), got);
                    store();
                }
                if (status == 0) {
                    ReadBuf(header, 1, got);
                    // Anything but the line end means the header lied about the length: the values are
                    // shifted, and the rest of the block is still on its way.
                    shifted = status == 0 && header != "\n";
                    if (shifted) drainPending(*this);
                }
            }
            // What a cut-short block did not deliver comes back as zeros.
            if (shifted)
                values.clear();
            else
                values.resize(announcedValues, 0.0);
        }
        visa.viSetAttribute(session, VI_ATTR_TMO_VALUE, TRELVAN_TMO_RELAXED);
    }
    result.reserve(values.size() / 2);
    for (size_t k = 0; 2 * k + 1 < values.size(); ++k) result.emplace_back(values[2 * k], values[2 * k + 1]);
    if (status == VI_ERROR_TMO) reopenSession(*this);
    return result;
}
