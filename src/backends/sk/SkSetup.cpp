// Bringing an SK instrument into a known state, learning its limits, and applying the host's
// parameters and point count together with the block size and sample rate derived from them.
#include <QThread>
#include <algorithm>
#include <cmath>

#include <trelvan/DynamicVisa.h>
#include "backends/ErrorTexts.h"
#include "backends/sk/Sk.h"
#include "backends/sk/SkDiagnostics.h"
#include "backends/sk/SkNumbers.h"
#include "backends/sk/SkVocabulary.h"
#include "base/VisaConstants.h"

namespace {

// The IF filter asked for is the one whose sample-rate threshold lies nearest the rate wanted.
constexpr double kRateThresholds[] = {450000, 1500000, 4500000};
constexpr double kIfBandwidths[] = {100000, 300000, 3000000};
constexpr double kFarAway = 1e9;

// Extra samples fetched per point, so the band kept after correction still holds every point.
constexpr double kBlockMargin = 1.2;
// Share of the response span that survives the band narrowing of the post-processing.
constexpr double kKeptShare = 0.75;

constexpr unsigned kReplyValues = 8;  // room for every value the replies used here carry

// Values the limits query sends to make the instrument clamp to its own limits.
constexpr double kFrequencyBeyondLimits = 1e12;
constexpr double kWidestIfBandwidth = 1e7;
constexpr double kRefLevelBeyondLimits = 100;

void modified(Error* error) {
    if (error != nullptr) *error = Error{trv::errors::kParamsModifiedCode, trv::errors::paramsModifiedText()};
}

}  // namespace

// Correction and band narrowing need a response table of some width; the span is what they derive from.
bool SK::responseSpan(double& span) const {
    const std::size_t size = std::min(m_responseFrequencies.size(), m_responseAmplitudes.size());
    if (size < 2) return false;
    span = m_responseFrequencies[size - 1] - m_responseFrequencies[0];
    return span > 0 && std::isfinite(span);
}

// Without a usable table no block can be delivered: the host is told so, and the point count and rate
// say the same as getData, which delivers nothing. A table missing because an exchange failed is that
// failure's to report, in the status word.
bool SK::responseUsable() {
    double span = 0;
    if (responseSpan(span)) return true;
    if (error != nullptr && statusOk())
        *error = Error{trv::errors::kResponseTableCode, trv::errors::responseTableText()};
    m_curSampleRate = 0;
    return false;
}

bool SK::statusOk() const {
    return canExchange() && *status == VI_SUCCESS;
}

ViStatus SK::readReply(unsigned short expected, int line, double* values, unsigned capacity) {
    std::fill(values, values + capacity, 0.0);
    unsigned short pid = 0;
    const ViStatus result = ReceiveParameter(pid, values, nullptr, nullptr, capacity);
    if (result == VI_SUCCESS && pid != expected) reportPidCheck(expected, line);
    return result;
}

// Reset, a fixed operating mode, the limits, and the automatic calibration switched off. Steps that
// only send wait for a clean status; steps that read start afresh, so the status word ends up with
// the outcome of the last exchange, which the facade takes as the outcome of the connection.
void SK::runStartUpSequence() {
    ProcessReset();
    SendPreSequence();
    ReadPreSequence();
    GetParamsLim();
    setNumPoints(100);
    SendDisableAutoCalibration();
    ReadDisableAutoCalibration();
}

void SK::SendPreSequence() {
    if (!statusOk()) return;
    double mode[] = {17};
    double frequency[] = {2e9, 1, 0};
    double ifBandwidth[] = {100000};
    double videoBandwidth[] = {2e9};
    if (SendParameter(MI_SET, P_MODE, 1, kSkInt16, mode) != VI_SUCCESS) return;
    if (SendParameter(MI_SET, P_RRS_FREQUENCY, 3, kSkInt48, frequency) != VI_SUCCESS) return;
    if (SendParameter(MI_SET, P_IF_FILTER_BANDWIDTH, 1, kSkInt32, ifBandwidth) != VI_SUCCESS) return;
    if (SendParameter(MI_GET, P_SAMPLE_RATE, 0, kSkInt32, nullptr) != VI_SUCCESS) return;
    SendParameter(MI_SET, P_VIDEO_FILTER_BANDWIDTH, 1, kSkInt32, videoBandwidth);
}

void SK::ReadPreSequence() {
    struct Expected {
        unsigned short pid;
        int line;
    };
    static const Expected replies[] = {{P_MODE, 716},
                                       {P_RRS_FREQUENCY, 721},
                                       {P_IF_FILTER_BANDWIDTH, 726},
                                       {P_SAMPLE_RATE, 732},
                                       {P_VIDEO_FILTER_BANDWIDTH, 737}};
    double values[kReplyValues];
    for (const Expected& e : replies) {
        if (readReply(e.pid, e.line, values, kReplyValues) != VI_SUCCESS) return;
    }
    GetNewAFC(&m_responseFrequencies, &m_responseAmplitudes);
    CalcMultCoef();
}

// Asks for values beyond any instrument's range and reads back what it clamped them to.
void SK::GetParamsLim() {
    if (!canExchange()) return;
    *status = visa->viSetAttribute(*session, VI_ATTR_TMO_VALUE, kSkLongTimeoutMs);
    if (*status != VI_SUCCESS) return;
    double v[kReplyValues];

    double highest[] = {kFrequencyBeyondLimits, 1, 0};
    if (SendParameter(MI_SET, P_RRS_FREQUENCY, 3, kSkInt48, highest) != VI_SUCCESS) return;
    QThread::msleep(m_settle.limitsMs);
    if (readReply(P_RRS_FREQUENCY, 1282, v, kReplyValues) != VI_SUCCESS) return;
    m_maxLimits.frequency = v[0];

    double lowest[] = {0, 1, 0};
    if (SendParameter(MI_SET, P_RRS_FREQUENCY, 3, kSkInt48, lowest) != VI_SUCCESS) return;
    if (readReply(P_RRS_FREQUENCY, 1294, v, kReplyValues) != VI_SUCCESS) return;
    m_minLimits.frequency = v[0];

    double widest[] = {kWidestIfBandwidth};
    double narrowest[] = {kIfBandwidths[0]};
    if (SendParameter(MI_SET, P_IF_FILTER_BANDWIDTH, 1, kSkInt32, widest) != VI_SUCCESS) return;
    if (SendParameter(MI_GET, P_SAMPLE_RATE, 0, kSkInt32, nullptr) != VI_SUCCESS) return;
    if (SendParameter(MI_SET, P_IF_FILTER_BANDWIDTH, 1, kSkInt32, narrowest) != VI_SUCCESS) return;
    if (SendParameter(MI_GET, P_SAMPLE_RATE, 0, kSkInt32, nullptr) != VI_SUCCESS) return;
    if (readReply(P_IF_FILTER_BANDWIDTH, 1331, v, kReplyValues) != VI_SUCCESS) return;
    if (readReply(P_SAMPLE_RATE, 1336, v, kReplyValues) != VI_SUCCESS) return;
    m_maxLimits.sampleRate = v[0];
    if (readReply(P_IF_FILTER_BANDWIDTH, 1343, v, kReplyValues) != VI_SUCCESS) return;
    if (readReply(P_SAMPLE_RATE, 1348, v, kReplyValues) != VI_SUCCESS) return;
    m_minLimits.sampleRate = v[0];

    double loudest[] = {kRefLevelBeyondLimits, 0, 1};
    double quietest[] = {-kRefLevelBeyondLimits, 0, 1};
    if (SendParameter(MI_SET, P_RRS_REFERENCE_LEVEL, 3, kSkFixed32, loudest) != VI_SUCCESS) return;
    if (SendParameter(MI_SET, P_RRS_REFERENCE_LEVEL, 3, kSkFixed32, quietest) != VI_SUCCESS) return;
    if (readReply(P_RRS_REFERENCE_LEVEL, 1376, v, kReplyValues) != VI_SUCCESS) return;
    m_maxLimits.refLevel = trv::sknum::truncToInt(v[0]);
    if (readReply(P_RRS_REFERENCE_LEVEL, 1382, v, kReplyValues) != VI_SUCCESS) return;
    m_minLimits.refLevel = trv::sknum::truncToInt(v[0]);
}

void SK::SendDisableAutoCalibration() {
    if (!statusOk()) return;
    double stop[] = {2};
    double manual[] = {1};
    if (SendParameter(MI_SET, P_PREFILTERS_CALIBRATION, 1, kSkInt16, stop) != VI_SUCCESS) return;
    SendParameter(MI_SET, P_PREFILTERS_CALIBRATION, 1, kSkInt16, manual);
}

void SK::ReadDisableAutoCalibration() {
    QThread::msleep(m_settle.calibrationMs);
    double v[kReplyValues];
    if (readReply(P_PREFILTERS_CALIBRATION, 769, v, kReplyValues) != VI_SUCCESS) return;
    readReply(P_PREFILTERS_CALIBRATION, 774, v, kReplyValues);
}

void SK::setParams(Params& p) {
    if (!statusOk() || params == nullptr) return;
    double frequency[] = {p.frequency, 1, 0};
    if (SendParameter(MI_SET, P_RRS_FREQUENCY, 3, kSkInt48, frequency) != VI_SUCCESS) return;

    // Ties keep the narrower filter.
    int index = 0;
    double best = std::min(std::abs(p.sampleRate - kRateThresholds[0]), kFarAway);
    for (int i = 1; i < 3; ++i) {
        const double d = std::abs(p.sampleRate - kRateThresholds[i]);
        if (d < best) best = d, index = i;
    }
    m_ifBandwidth = kIfBandwidths[index];
    double ifBandwidth[] = {m_ifBandwidth};
    double refLevel[] = {static_cast<double>(p.refLevel), 0, 1};
    if (SendParameter(MI_SET, P_IF_FILTER_BANDWIDTH, 1, kSkInt32, ifBandwidth) != VI_SUCCESS) return;
    if (SendParameter(MI_SET, P_RRS_REFERENCE_LEVEL, 3, kSkFixed32, refLevel) != VI_SUCCESS) return;
    if (SendParameter(MI_GET, P_SAMPLE_RATE, 0, kSkInt32, nullptr) != VI_SUCCESS) return;

    double v[kReplyValues];
    if (readReply(P_RRS_FREQUENCY, 130, v, kReplyValues) != VI_SUCCESS) return;
    if (v[0] != p.frequency) {
        p.frequency = v[0];
        modified(error);
    }
    if (readReply(P_IF_FILTER_BANDWIDTH, 140, v, kReplyValues) != VI_SUCCESS) return;
    if (v[0] != m_ifBandwidth) modified(error);
    if (readReply(P_RRS_REFERENCE_LEVEL, 151, v, kReplyValues) != VI_SUCCESS) return;
    if (v[0] != static_cast<double>(p.refLevel)) {
        p.refLevel = trv::sknum::truncToInt(v[0]);
        modified(error);
    }
    if (readReply(P_SAMPLE_RATE, 161, v, kReplyValues) != VI_SUCCESS) return;
    if (v[0] != p.sampleRate) {
        // The rate travels as a quotient; a divisor of 0 would make it meaningless, so take it whole.
        p.sampleRate = v[1] != 0 ? v[0] / v[1] : v[0];
        modified(error);
    }

    *params = p;
    GetNewAFC(&m_responseFrequencies, &m_responseAmplitudes);
    CalcMultCoef();
    calcNewSampleRate();
}

void SK::setNumPoints(int n) {
    m_numPoints = n;
    CalcMultCoef();
    if (statusOk()) {
        double asked[] = {0, kSkMaxRunBlock, 1, static_cast<double>(m_blockPoints)};
        double v[kReplyValues];
        if (SendParameter(MI_SET, P_CLK, 4, kSkInt32, asked) == VI_SUCCESS &&
            readReply(P_CLK, 207, v, kReplyValues) == VI_SUCCESS) {
            if (!std::equal(asked, asked + 4, v) && error != nullptr)
                *error = Error{trv::errors::kPointsCode, trv::errors::pointsText()};
            m_blockPoints = trv::sknum::clampBlockPoints(v[3]);
        }
    }
    calcNewSampleRate();
}

void SK::CalcMultCoef() {
    double span = 0;
    if (params == nullptr || !responseSpan(span)) return;
    const double coef = std::ceil(params->sampleRate / span);
    const double points = std::trunc(m_numPoints * coef * kBlockMargin);
    m_blockPoints = trv::sknum::clampBlockPoints(trv::sknum::powerOfTwoAtLeast(points));
}

void SK::calcNewSampleRate() {
    double span = 0;
    if (params == nullptr || m_blockPoints <= 0) return;
    if (!responseUsable() || !responseSpan(span)) return;
    const double binWidth = params->sampleRate / m_blockPoints;
    if (!(binWidth > 0) || !std::isfinite(binWidth)) return;
    m_curSampleRate = std::ceil(kKeptShare * span / binWidth) * binWidth;
}

namespace trv::sk {

namespace {

// The instrument's own rate: until setParams picks a filter, the narrowest one of the start-up is in
// force, at the lower limit.
double rateInForce(const SK& sk) {
    if (sk.m_ifBandwidth > 0) return sk.params != nullptr ? sk.params->sampleRate : 0.0;
    return sk.m_minLimits.sampleRate;
}

}  // namespace

// What each IF filter would deliver, by the same arithmetic as CalcMultCoef and calcNewSampleRate, with
// the instrument digitising at the filter's threshold rate and the response table spanning the share of
// that rate it spans for the filter in force. The filter in force is exact; the others hold as long as the instrument's table
// keeps its proportion, as it does across filters.
std::vector<RateChoice> deliverableRates(const SK& sk) {
    std::vector<RateChoice> rates;
    const std::vector<double>& f = sk.m_responseFrequencies;
    if (f.size() < 2) return rates;
    const double share = (f.back() - f.front()) / rateInForce(sk);
    if (!(share > 0) || !std::isfinite(share)) return rates;
    for (double rate : kRateThresholds) {
        const double span = share * rate;
        const double coef = std::ceil(rate / span);
        const double block = trv::sknum::powerOfTwoAtLeast(std::trunc(sk.m_numPoints * coef * kBlockMargin));
        if (!(block > 0)) continue;
        const double bin = rate / trv::sknum::clampBlockPoints(block);
        rates.push_back({std::ceil(kKeptShare * span / bin) * bin, rate});
    }
    return rates;
}

void pointsLimits(const SK& sk, int& min, int& max) {
    min = 1;
    max = 0;
    const std::vector<double>& f = sk.m_responseFrequencies;
    if (f.size() < 2 || !(f.back() > f.front())) return;
    const double coef = std::ceil(rateInForce(sk) / (f.back() - f.front()));
    if (!(coef >= 1) || !std::isfinite(coef)) return;
    max = trv::sknum::truncToInt(kSkMaxBlockPoints / (coef * kBlockMargin));
}

}  // namespace trv::sk
