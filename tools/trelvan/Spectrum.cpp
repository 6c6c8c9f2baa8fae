#include "Spectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>

namespace cli {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kOhms = 50.0;
}  // namespace

bool windowFromName(const QString& name, Window& out) {
    const QString n = name.toLower();
    if (n == "hann") out = Window::Hann;
    else if (n == "flattop") out = Window::FlatTop;
    else if (n == "rect") out = Window::Rectangular;
    else return false;
    return true;
}

double toDbm(double milliwatts) { return 10.0 * std::log10(std::max(milliwatts, 1e-30)); }

std::vector<double> Spectrum::levelsDbm() const {
    std::vector<double> out(power.size());
    std::transform(power.begin(), power.end(), out.begin(), toDbm);
    return out;
}

SpectrumAverager::SpectrumAverager(int fftSize, Window window)
    : n_(std::max(fftSize, 2)), lobeBins_(window == Window::FlatTop ? 6 : window == Window::Hann ? 3 : 1), window_(n_), acc_(n_, 0.0) {
    for (int i = 0; i < n_; ++i) {
        const double x = 2 * kPi * i / n_;  // periodic windows
        if (window == Window::Hann) window_[i] = 0.5 - 0.5 * std::cos(x);
        else if (window == Window::FlatTop)
            window_[i] = 0.21557895 - 0.41663158 * std::cos(x) + 0.277263158 * std::cos(2 * x) -
                         0.083578947 * std::cos(3 * x) + 0.006947368 * std::cos(4 * x);
        else window_[i] = 1.0;
        sum_ += window_[i];
        sumSq_ += window_[i] * window_[i];
    }
    fftw_complex* buf = fftw_alloc_complex(n_);
    buffer_ = buf;
    plan_ = fftw_plan_dft_1d(n_, buf, buf, FFTW_FORWARD, FFTW_ESTIMATE);
}

SpectrumAverager::~SpectrumAverager() {
    fftw_destroy_plan(static_cast<fftw_plan>(plan_));
    fftw_free(buffer_);
}

void SpectrumAverager::add(const std::complex<double>* samples, std::size_t count) {
    fftw_complex* buf = static_cast<fftw_complex*>(buffer_);
    const std::size_t hop = static_cast<std::size_t>(std::max(1, n_ / 2));
    for (std::size_t start = 0; start + n_ <= count; start += hop) {
        for (int i = 0; i < n_; ++i) {
            buf[i][0] = samples[start + i].real() * window_[i];
            buf[i][1] = samples[start + i].imag() * window_[i];
        }
        fftw_execute(static_cast<fftw_plan>(plan_));
        for (int i = 0; i < n_; ++i) acc_[i] += buf[i][0] * buf[i][0] + buf[i][1] * buf[i][1];
        ++blocks_;
    }
}

Spectrum SpectrumAverager::result(double centreHz, double sampleRateHz) const {
    Spectrum s;
    s.centreHz = centreHz;
    s.sampleRateHz = sampleRateHz;
    if (blocks_ == 0) return s;
    s.fftSize = n_;
    s.blocks = blocks_;
    s.enbwBins = n_ * sumSq_ / (sum_ * sum_);
    s.lobeBins = lobeBins_;
    // |X|^2 / (sum w)^2 is the squared amplitude of an on-bin tone; amplitude^2 / R gives watts.
    const double scale = 1000.0 / (sum_ * sum_ * kOhms * blocks_);
    s.power.resize(n_);
    for (int i = 0; i < n_; ++i) s.power[(i + n_ / 2) % n_] = acc_[i] * scale;  // negative frequencies first
    return s;
}

Spectrum averagedSpectrum(const std::vector<std::complex<double>>& samples, double centreHz,
                          double sampleRateHz, int fftSize, std::vector<std::size_t> segmentStarts, Window window) {
    segmentStarts.push_back(0);
    segmentStarts.push_back(samples.size());
    std::sort(segmentStarts.begin(), segmentStarts.end());
    segmentStarts.erase(std::unique(segmentStarts.begin(), segmentStarts.end()), segmentStarts.end());
    std::size_t longest = 0;
    for (std::size_t i = 0; i + 1 < segmentStarts.size(); ++i)
        longest = std::max(longest, std::min(segmentStarts[i + 1], samples.size()) - std::min(segmentStarts[i], samples.size()));
    const int n = static_cast<int>(std::min<std::size_t>(longest, static_cast<std::size_t>(std::max(fftSize, 2))));
    if (n < 2) {
        Spectrum s;
        s.centreHz = centreHz;
        s.sampleRateHz = sampleRateHz;
        return s;
    }
    SpectrumAverager averager(n, window);
    for (std::size_t seg = 0; seg + 1 < segmentStarts.size(); ++seg) {
        const std::size_t begin = std::min(segmentStarts[seg], samples.size());
        const std::size_t end = std::min(segmentStarts[seg + 1], samples.size());
        averager.add(samples.data() + begin, end - begin);
    }
    return averager.result(centreHz, sampleRateHz);
}

Peak strongestPeak(const Spectrum& s, double lowHz, double highHz) {
    Peak p;
    const int n = static_cast<int>(s.power.size());
    if (n == 0 || s.binHz() <= 0) return p;
    const double first = (lowHz - s.frequencyOf(0)) / s.binHz();
    const double last = (highHz - s.frequencyOf(0)) / s.binHz();
    const int lo = std::max(0, static_cast<int>(std::ceil(first)));
    const int hi = std::min(n - 1, static_cast<int>(std::floor(last)));
    if (lo > hi) return p;
    int k = lo;
    for (int i = lo; i <= hi; ++i)
        if (s.power[i] > s.power[k]) k = i;

    // A parabola through the log levels of the peak and its neighbours puts the tone between bins.
    double offset = 0;
    if (k > 0 && k < n - 1) {
        const double a = toDbm(s.power[k - 1]), b = toDbm(s.power[k]), c = toDbm(s.power[k + 1]);
        const double d = a - 2 * b + c;
        if (d < 0) offset = std::clamp(0.5 * (a - c) / d, -0.5, 0.5);
    }
    double lobe = 0;
    for (int i = std::max(0, k - s.lobeBins); i <= std::min(n - 1, k + s.lobeBins); ++i) lobe += s.power[i];
    p.found = true;
    p.frequencyHz = s.frequencyOf(k + offset);
    p.levelDbm = toDbm(lobe / s.enbwBins);
    return p;
}

}  // namespace cli

namespace cli {

double noiseFloorDbm(const Spectrum& s, double lowHz, double highHz) {
    std::vector<double> in;
    for (std::size_t i = 0; i < s.power.size(); ++i) {
        const double f = s.frequencyOf(static_cast<double>(i));
        if (f >= lowHz && f <= highHz) in.push_back(s.power[i]);
    }
    if (in.empty()) return toDbm(0);
    std::nth_element(in.begin(), in.begin() + in.size() / 2, in.end());
    return toDbm(in[in.size() / 2]);
}

}  // namespace cli
