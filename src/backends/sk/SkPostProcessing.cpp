// Correcting a captured block for the instrument's frequency response and narrowing it to the flat
// middle of the band: FFT, divide out the response bin by bin, keep the central bins, inverse FFT.
#include <fftw3.h>

#include <QMutex>
#include <QMutexLocker>
#include <algorithm>
#include <cmath>

#include "backends/sk/SK.h"
#include "backends/sk/SkDiagnostics.h"
#include "backends/sk/Vocabulary.h"

namespace {

// The two leading values of a response-table reply, and where its points start in the body.
constexpr unsigned kTableHeadValues = 2;
constexpr unsigned kFrequencyTableOffset = 14;
constexpr unsigned kFrequencyPointBytes = 6;
constexpr unsigned kAmplitudeTableOffset = 10;
constexpr unsigned kAmplitudePointBytes = 4;
constexpr unsigned kAmplitudeFracBytes = 2;

// Half the kept band, as a share of the response span.
constexpr double kKeptHalfShare = 3 * 0.125;
// Output scale of the forward/inverse pair, per point of the forward transform.
constexpr double kOutputScale = 0.4263694993781802;
// The narrowed block keeps [ceil(0.05 L), trunc(0.95 L)): its ends ring from the band edges.
constexpr double kTrimStart = 0.05;
constexpr double kTrimEnd = 0.95;

// FFTW's planner is not re-entrant; two SK objects on two threads must not plan at once.
QMutex plannerMutex;

void transform(fftw_complex* data, int n, int sign) {
    fftw_plan plan;
    {
        QMutexLocker lock(&plannerMutex);
        plan = fftw_plan_dft_1d(n, data, data, sign, FFTW_ESTIMATE);
    }
    fftw_execute(plan);
    QMutexLocker lock(&plannerMutex);
    fftw_destroy_plan(plan);
}

// Linear interpolation over an ascending table; the segment found last is where the search for the
// next point starts, so a run of ascending points costs one step each. Same result as
// SK::GetInterpolatedValue for every point.
class Interpolator {
public:
    Interpolator(const double* xs, const double* ys, std::size_t n) : xs_(xs), ys_(ys), n_(n) {}
    double at(double x) {
        if (x >= xs_[n_ - 1]) return ys_[n_ - 1];
        if (x <= xs_[0]) return ys_[0];
        while (g_ > 0 && xs_[g_] > x) --g_;
        while (g_ + 2 < n_ && xs_[g_ + 1] <= x) ++g_;
        return between(g_, x);
    }

private:
    double between(std::size_t g, double x) const {
        const double x0 = xs_[g], x1 = xs_[g + 1];
        if (x0 == x1) return (ys_[g] + ys_[g + 1]) / 2;
        const double t = (x1 - x) / (x1 - x0);
        return t * ys_[g] + (1 - t) * ys_[g + 1];
    }
    const double* xs_;
    const double* ys_;
    std::size_t n_;
    std::size_t g_ = 0;
};

}  // namespace

void SK::GetNewAFC(std::vector<double>* frequencies, std::vector<double>* amplitudes) {
    if (SendParameter(MI_GET, P_RESPONSE_FREQUENCY, 0, kSkInt48, nullptr) != VI_SUCCESS) return;
    if (SendParameter(MI_GET, P_RESPONSE_AMPLITUDE, 0, kSkFixed32, nullptr) != VI_SUCCESS) return;

    // Reads one table reply; the point count it states is believed only as far as its body reaches.
    auto readTable = [this](unsigned short pid, int line, unsigned offset, unsigned bytes, unsigned frac,
                            std::vector<double>* into) {
        double head[kTableHeadValues] = {};
        unsigned short got = 0;
        CommandHead* reply = nullptr;
        unsigned char* body = nullptr;
        if (ReceiveParameter(got, head, &reply, &body, kTableHeadValues) != VI_SUCCESS) return false;
        if (got != pid) reportPidCheck(pid, line);
        const unsigned room = reply->BodyLen >= offset ? (reply->BodyLen - offset) / bytes : 0;
        const double stated = head[1] > 0 ? head[1] : 0;
        const unsigned points = stated < room ? static_cast<unsigned>(stated) : room;
        if (into == nullptr) return true;
        into->clear();
        into->reserve(points);
        for (unsigned i = 0; i < points; ++i)
            into->push_back(ReadComplexValue(body, offset, i, true, bytes, frac));
        return true;
    };
    if (!readTable(P_RESPONSE_FREQUENCY, 793, kFrequencyTableOffset, kFrequencyPointBytes, 0, frequencies))
        return;
    readTable(P_RESPONSE_AMPLITUDE, 808, kAmplitudeTableOffset, kAmplitudePointBytes, kAmplitudeFracBytes,
              amplitudes);
}

double SK::GetInterpolatedValue(double x, const std::vector<double>& xs, const std::vector<double>& ys) {
    const std::size_t n = std::min(xs.size(), ys.size());
    if (n == 0) return 0;
    if (x >= xs[n - 1]) return ys[n - 1];
    if (x <= xs[0] || std::isnan(x)) return ys[0];
    // Start where x would lie in an evenly spaced table, then walk to its segment.
    const double guess = (n - 1) * (x - xs[0]) / (xs[n - 1] - xs[0]) + 0.5;
    std::size_t g = std::min(static_cast<std::size_t>(guess), n - 2);
    while (g > 0 && xs[g] > x) --g;
    while (g + 2 < n && xs[g + 1] <= x) ++g;
    if (xs[g] == xs[g + 1]) return (ys[g] + ys[g + 1]) / 2;
    const double t = (xs[g + 1] - x) / (xs[g + 1] - xs[g]);
    return t * ys[g] + (1 - t) * ys[g + 1];
}

void SK::PostProcessing(std::vector<std::complex<double>>* samples) {
    if (status == nullptr || *status != VI_SUCCESS || params == nullptr || samples == nullptr ||
        samples->empty())
        return;
    // Neither correction nor narrowing is possible without a response table of some width.
    const std::size_t tableSize = std::min(m_responseFrequencies.size(), m_responseAmplitudes.size());
    if (tableSize < 2) return;
    const double span = m_responseFrequencies[tableSize - 1] - m_responseFrequencies[0];
    if (!(span > 0) || !std::isfinite(span)) return;

    std::size_t n = 1;
    while (n < samples->size()) n <<= 1;
    samples->resize(n);
    fftw_complex* x = reinterpret_cast<fftw_complex*>(samples->data());
    transform(x, static_cast<int>(n), FFTW_FORWARD);

    // Bin k lies at fc + k fs/N up to half the band, and below fc after that: the FFT's own order.
    // The kept bins are packed to the front in that order, which is the order the shorter inverse
    // transform expects.
    const double fc = params->frequency;
    const double fs = params->sampleRate;
    const double limit = span * kKeptHalfShare;
    const double scale = kOutputScale / n;
    const std::size_t half = n / 2;
    Interpolator response(m_responseFrequencies.data(), m_responseAmplitudes.data(), tableSize);
    std::complex<double>* bins = samples->data();
    std::size_t kept = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double f = fc - fs / 2 + static_cast<double>((k + half) & (n - 1)) * fs / n;
        if (!(std::abs(fc - f) <= limit)) continue;
        const double gain = std::pow(10.0, -response.at(f) / 20);
        bins[kept++] = bins[k] * (gain * scale);
    }
    if (kept > 0) transform(x, static_cast<int>(kept), FFTW_BACKWARD);

    const std::size_t first = static_cast<std::size_t>(std::ceil(kTrimStart * kept));
    const std::size_t end = static_cast<std::size_t>(kTrimEnd * kept);
    if (kept == 0 || end <= first) {
        samples->clear();
        return;
    }
    std::copy(bins + first, bins + end, bins);
    samples->resize(end - first);
}
