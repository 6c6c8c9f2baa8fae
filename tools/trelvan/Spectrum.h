// Averaged power spectrum of complex samples: Hann-windowed FFT blocks with half overlap, power
// averaged over the blocks, ordered from -rate/2 to +rate/2. Levels are dBm for samples in volts
// across 50 Ohm, scaled so that a tone on a bin centre reads its own level in that bin.
#pragma once

#include <QString>
#include <complex>
#include <vector>

namespace cli {

// Hann by default; a flat top reads a tone's level truest wherever it falls, rectangular resolves best.
enum class Window { Hann, FlatTop, Rectangular };
bool windowFromName(const QString& name, Window& out);

struct Spectrum {
    double centreHz = 0;
    double sampleRateHz = 0;
    int fftSize = 0;
    int blocks = 0;
    double enbwBins = 1;       // noise bandwidth of the window, in bins
    int lobeBins = 3;          // half the window's main lobe, in bins, and one more for a tone between bins
    std::vector<double> power;  // linear, mW, fftSize bins from the lowest frequency up

    double binHz() const { return fftSize > 0 ? sampleRateHz / fftSize : 0; }
    double frequencyOf(double bin) const { return centreHz - sampleRateHz / 2 + bin * binHz(); }
    std::vector<double> levelsDbm() const;
};

// Adds segments (separately acquired blocks) one at a time, so a long recording is averaged without
// holding it whole. No FFT block straddles two segments.
class SpectrumAverager {
public:
    explicit SpectrumAverager(int fftSize, Window window = Window::Hann);
    ~SpectrumAverager();
    SpectrumAverager(const SpectrumAverager&) = delete;
    SpectrumAverager& operator=(const SpectrumAverager&) = delete;
    void add(const std::complex<double>* samples, std::size_t n);
    Spectrum result(double centreHz, double sampleRateHz) const;

private:
    int n_;
    int lobeBins_;
    std::vector<double> window_, acc_;
    double sum_ = 0, sumSq_ = 0;
    int blocks_ = 0;
    void* buffer_ = nullptr;  // fftw_complex[n]
    void* plan_ = nullptr;
};

// fftSize is capped by the longest segment; fewer than 2 samples give an empty spectrum. Segments are the
// starts of separately acquired blocks: no FFT block straddles the gap between two of them.
Spectrum averagedSpectrum(const std::vector<std::complex<double>>& samples, double centreHz,
                          double sampleRateHz, int fftSize = 4096, std::vector<std::size_t> segmentStarts = {},
                          Window window = Window::Hann);

struct Peak {
    bool found = false;
    double frequencyHz = 0;  // interpolated between bins
    double levelDbm = 0;     // power of the whole main lobe, so a tone between bins reads true
};

// The strongest bin within [lowHz, highHz] (absolute frequencies).
Peak strongestPeak(const Spectrum& s, double lowHz, double highHz);

// The noise floor within [lowHz, highHz]: the median bin level, in dBm.
double noiseFloorDbm(const Spectrum& s, double lowHz, double highHz);

double toDbm(double milliwatts);

}  // namespace cli
