// Correcting a captured block for the instrument's frequency response and narrowing it to the flat
// middle of the band: FFT, divide out the response bin by bin, keep the central bins, inverse FFT.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <thread>
#include <vector>

#include "backends/sk/Sk.h"
#include "backends/sk/SkDiagnostics.h"
#include "backends/sk/SkFftPlans.h"
#include "backends/sk/SkVocabulary.h"

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
constexpr double kNegLn10Over20 = -0.11512925464970229;  // -ln(10) / 20
// The narrowed block keeps [ceil(0.05 L), trunc(0.95 L)): its ends ring from the band edges.
constexpr double kTrimStart = 0.05;
constexpr double kTrimEnd = 0.95;

// Linear interpolation over an ascending table; the segment found last is where the search for the
// next point starts, so a run of ascending points costs one step each. Same result as
// SK::GetInterpolatedValue for every point.
class Interpolator {
public:
    Interpolator(const double* xs, const double* ys, std::size_t n) : m_xs(xs), m_ys(ys), m_n(n) {}
    double at(double x) {
        if (x >= m_xs[m_n - 1]) return m_ys[m_n - 1];
        if (x <= m_xs[0]) return m_ys[0];
        while (m_g > 0 && m_xs[m_g] > x) --m_g;
        while (m_g + 2 < m_n && m_xs[m_g + 1] <= x) ++m_g;
        return between(m_g, x);
    }

private:
    double between(std::size_t g, double x) const {
        const double x0 = m_xs[g], x1 = m_xs[g + 1];
        if (x0 == x1) return (m_ys[g] + m_ys[g + 1]) / 2;
        const double t = (x1 - x) / (x1 - x0);
        return t * m_ys[g] + (1 - t) * m_ys[g + 1];
    }
    const double* m_xs;
    const double* m_ys;
    std::size_t m_n;
    std::size_t m_g = 0;
};

// The band step for bins [from, to): each bin within `limit` of the centre is divided by the response
// at its frequency, scaled, and packed to `from` on; gives how many were kept.
struct Band {
    double fc, fs, limit, scale;
    std::size_t n;
    std::size_t correct(std::complex<double>* bins, std::size_t from, std::size_t to,
                        Interpolator& response) const {
        const std::size_t half = n / 2;
        std::size_t kept = from;
        for (std::size_t k = from; k < to; ++k) {
            const double f = fc - fs / 2 + static_cast<double>((k + half) & (n - 1)) * fs / n;
            if (!(std::abs(fc - f) <= limit)) continue;
            // 10^(-A/20), by exp: a few times faster than pow, and the same to the last bits or so.
            const double gain = std::exp(response.at(f) * kNegLn10Over20);
            bins[kept++] = bins[k] * (gain * scale);
        }
        return kept - from;
    }
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
    if (!trv::skfft::transform(x, static_cast<int>(n), FFTW_FORWARD)) {
        samples->clear();
        return;
    }

    // Bin k lies at fc + k fs/N up to half the band, and below fc after that: the FFT's own order.
    // The kept bins are packed to the front in that order, which is the order the shorter inverse
    // transform expects. Each thread packs the kept bins of its own stretch to that stretch's start;
    // the stretches are then closed up in order.
    const double scale = trv::sk::kOutputScale / n;
    const Band band{params->frequency, params->sampleRate, span * kKeptHalfShare, scale, n};
    const int threads = trv::skfft::threadsFor(n);
    std::vector<std::size_t> starts(threads + 1), counts(threads);
    for (int t = 0; t <= threads; ++t) starts[t] = n / threads * t + std::min<std::size_t>(t, n % threads);
    std::complex<double>* bins = samples->data();
    auto narrow = [&](int t) {
        Interpolator response(m_responseFrequencies.data(), m_responseAmplitudes.data(), tableSize);
        counts[t] = band.correct(bins, starts[t], starts[t + 1], response);
    };
    std::vector<std::thread> helpers;
    int started = 1;
    try {
        helpers.reserve(threads - 1);
        for (; started < threads; ++started) helpers.emplace_back(narrow, started);
    } catch (const std::exception&) {
        // No thread to be had: this one does the rest.
    }
    for (int t = started; t < threads; ++t) narrow(t);
    narrow(0);
    for (std::thread& h : helpers) h.join();
    std::size_t kept = counts[0];
    for (int t = 1; t < threads; ++t) {
        std::memmove(bins + kept, bins + starts[t], counts[t] * sizeof *bins);
        kept += counts[t];
    }
    if (kept > 0 && !trv::skfft::transform(x, static_cast<int>(kept), FFTW_BACKWARD)) kept = 0;

    const std::size_t first = static_cast<std::size_t>(std::ceil(kTrimStart * kept));
    const std::size_t end = static_cast<std::size_t>(kTrimEnd * kept);
    if (kept == 0 || end <= first) {
        samples->clear();
        return;
    }
    std::copy(bins + first, bins + end, bins);
    samples->resize(end - first);
}
