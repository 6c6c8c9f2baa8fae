// One acquisition: pipelined P_CLK/MI_RUN request pairs, the data replies gathered into one block,
// the run statuses latched, and the middle of the post-processed block handed to the host.
#include <QString>
#include <algorithm>
#include <cstring>
#include <new>

#include "backends/SampleConversion.h"
#include "backends/sk/Sk.h"
#include "backends/sk/SkDiagnostics.h"
#include "backends/sk/SkVocabulary.h"

namespace {

constexpr int kEmptyReadCode = 404;
QString emptyReadText() {
    return QStringLiteral("Ошибка чтения оцифрованных данных");
}
QString headerStatusText() {
    return QStringLiteral("Ошибка в заголовке команды, при выполнении MI_RUN");
}
QString bodyStatusText() {
    return QStringLiteral("Ошибка в теле команды, при выполнении MI_RUN");
}

// Replies in a row that bring no samples before an acquisition is given up.
constexpr unsigned kMaxFruitlessReplies = 100;
// A processed block at most this much longer than asked for is delivered from its start.
constexpr int kCentreSlack = 10;
constexpr unsigned kClkValues = 4;
// One P_CLK request with its four 32-bit values, and the bare MI_RUN header after it.
constexpr std::size_t kRunPairBytes = kSkHeadSize + 2 + kClkValues * 4 + kSkHeadSize;

int16_t le16(const unsigned char* p) {
    return static_cast<int16_t>(p[0] | (p[1] << 8));
}

// One I or Q value: its bytes, least significant first, in the low bytes of a 32-bit integer. Only
// four bytes fit; of a wider value the low four are taken.
int32_t sampleValue(const unsigned char* p, unsigned len) {
    uint32_t v = 0;
    std::memcpy(&v, p, std::min(len, 4u));
    return static_cast<int32_t>(v);
}

}  // namespace

unsigned SK::CalcIQClockToSend(unsigned n) {
    const int64_t wanted = static_cast<int32_t>(n);
    if (wanted > static_cast<int64_t>(kSkMaxRunBlock)) return kSkMaxRunBlock;
    if (wanted <= 4) return 4;
    return static_cast<unsigned>((wanted + 3) & ~int64_t{3});
}

void SK::SendRunSequence(unsigned total, unsigned start, unsigned fullCount, unsigned* sent) {
    if (sent != nullptr) *sent = 0;
    if (total == 0 || !canExchange()) return;
    // The whole window leaves in one write, so the instrument has every request at once and answers
    // them back to back.
    unsigned char requests[kSkMaxRunsInFlight * kRunPairBytes];
    std::size_t used = 0;
    unsigned done = 0, blocks = 0, index = start;
    const double acquisition = fullCount != 0 ? fullCount : total;
    do {
        const unsigned block = CalcIQClockToSend(total - done);
        const double clk[kClkValues] = {static_cast<double>(index), static_cast<double>(block), 1,
                                        acquisition};
        used += composeParameter(requests + used, MI_SET, P_CLK, kClkValues, kSkInt32, clk);
        used += composeBareHeader(requests + used, MI_RUN);
        done += block;
        ++blocks;
        index += block;
    } while (done < total && blocks < kSkMaxRunsInFlight);
    if (SendData(requests, used) != VI_SUCCESS) return;
    m_nRUNcounter = static_cast<uint16_t>(m_nRUNcounter + blocks);
    if (sent != nullptr) *sent = done;
}

bool SK::runStatusFatal() const {
    return m_lastRunHeaderStatus > static_cast<uint16_t>(SE_READ_TIMEOUT - 1) || m_lastRunBodyStatus < 0;
}

void SK::emptyReadFailure(std::vector<std::complex<double>>* samples) {
    if (error != nullptr) *error = Error{kEmptyReadCode, emptyReadText()};
    samples->clear();
    drainRunReplies();
}

void SK::drainRunReplies() {
    while (m_nRUNcounter > 0 && statusOk()) {
        double clk[kClkValues];
        if (readReply(P_CLK, 868, clk, kClkValues) != VI_SUCCESS) return;
        unsigned char* message = nullptr;
        unsigned long size = 0;
        *status = ReceiveData(&message, &size, kSkLongTimeoutMs);
        if (*status != VI_SUCCESS) return;
        --m_nRUNcounter;
    }
}

// Copies n samples of a data reply (I is value 0 of a sample, Q value 1) to samples[at ...].
void SK::storeRunSamples(const CommandHead& head, unsigned count, std::vector<std::complex<double>>& samples,
                         unsigned at, unsigned n) {
    n = std::min(
        {n, count, static_cast<unsigned>(samples.size() - std::min<std::size_t>(at, samples.size()))});
    const unsigned num = head.Flags & 0xFF;
    const unsigned len = head.Flags >> 12;
    const unsigned stride = num * len;
    const unsigned char* p = m_receiveBuffer + kSkHeadSize;
    std::complex<double>* out = samples.data() + at;
    if (num == 2 && len == 4) {  // the usual layout: 32-bit I and Q
        trv::convert::fromLittleEndianInt32(p, reinterpret_cast<double*>(out), n);
        return;
    }
    for (unsigned i = 0; i < n; ++i, p += stride) {
        const double q = num >= 2 ? sampleValue(p + len, len) : 0.0;
        out[i] = {static_cast<double>(sampleValue(p, len)), q};
    }
}

void SK::GetSamples(std::vector<std::complex<double>>* samples, unsigned requested, unsigned& received) {
    if (!statusOk() || samples == nullptr) return;
    m_lastRunBodyStatus = 1;
    SendRunSequence(requested, 0, 0, nullptr);
    if (requested == 0) {
        received = 0;
        if (m_nRUNcounter != 0) reportSkCheck("m_nRUNcounter == 0", 1007);
        return;
    }
    if (!statusOk()) return;

    unsigned long long got = 0;
    for (unsigned reply = 1;; ++reply) {
        double clk[kClkValues];
        if (readReply(P_CLK, 868, clk, kClkValues) != VI_SUCCESS) return;
        unsigned char* message = nullptr;
        unsigned long size = 0;
        *status = ReceiveData(&message, &size, kSkLongTimeoutMs);
        if (*status != VI_SUCCESS) return;
        const CommandHead& head = *reinterpret_cast<const CommandHead*>(message);
        if (head.Command != MI_RUN) reportSkCheck("rcvHead->Command == MI_RUN", 888);
        if (m_nRUNcounter > 0) --m_nRUNcounter;

        const int16_t bodyStatus = head.BodyLen >= 2 ? le16(message + kSkHeadSize + head.BodyLen - 2) : 0;
        if (!runStatusFatal()) {
            m_lastRunHeaderStatus = static_cast<uint16_t>(head.Status);
            if (head.Status != 0 && error != nullptr) *error = Error{head.Status, headerStatusText()};
            if (bodyStatus != 0) {
                m_lastRunBodyStatus = bodyStatus;
                if (error != nullptr) *error = Error{bodyStatus, bodyStatusText()};
            }
        }

        const unsigned sampleBytes = (head.Flags & 0xFF) * (head.Flags >> 12);
        const unsigned count = sampleBytes > 0 && head.BodyLen >= 2 ? (head.BodyLen - 2u) / sampleBytes : 0;
        const bool storing = !runStatusFatal();
        if (storing && count != clk[1]) reportSkCheck("rcv_count == dValues[1]", 936);
        if (count == 0) return emptyReadFailure(samples);
        if (storing && got < requested)
            storeRunSamples(head, count, *samples, static_cast<unsigned>(got),
                            static_cast<unsigned>(requested - got));
        got += count;

        if (got == 0 && reply >= kMaxFruitlessReplies) {
            received = 0;
            if (m_nRUNcounter != 0) reportSkCheck("m_nRUNcounter == 0", 1007);
            return;
        }
        if (m_nRUNcounter == 0 && got < requested) {
            SendRunSequence(static_cast<unsigned>(requested - got), static_cast<unsigned>(got), requested,
                            nullptr);
            if (!statusOk()) return;
        } else if (got >= requested) {
            received = static_cast<unsigned>(std::min<unsigned long long>(got, ~0u));
            if (m_nRUNcounter != 0) {
                reportSkCheck("m_nRUNcounter == 0", 1007);
                drainRunReplies();
            }
            return;
        }
        if (!statusOk()) return;
    }
}

void SK::getData(QVector<IQ_Elem>* out) {
    if (!statusOk() || out == nullptr || !responseUsable()) return;
    const unsigned blockPoints = static_cast<unsigned>(std::max(m_blockPoints, 0));
    // Keep the block's storage between acquisitions, unless it has grown far beyond what is needed.
    if (m_block.capacity() > 4 * static_cast<std::size_t>(blockPoints) + 4096)
        std::vector<std::complex<double>>().swap(m_block);
    try {
        m_block.assign(blockPoints, std::complex<double>{});
    } catch (const std::bad_alloc&) {
        std::vector<std::complex<double>>().swap(m_block);
        return;
    }
    out->resize(0);

    // Samples that do not arrive stay 0.
    unsigned received = 0;
    GetSamples(&m_block, blockPoints, received);
    if (!m_block.empty()) {
        if (!statusOk()) return;
        PostProcessing(&m_block);
    }
    if (!statusOk()) return;

    const int n = m_numPoints;
    const std::size_t length = m_block.size();
    if (n < 0 || static_cast<std::size_t>(n) > length) return;
    const std::size_t extra = length - n;
    const std::complex<double>* from = m_block.data() + (extra <= kCentreSlack ? 0 : extra / 2);
    out->resize(n);
    IQ_Elem* to = out->data();
    for (int i = 0; i < n; ++i) to[i] = IQ_Elem{from[i].real(), from[i].imag()};
}
