// The averaged spectrum finds a tone where and as strong as it is, and the plot draws its peak at the
// pixel column of its frequency.
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <cmath>
#include <random>

#include "Plot.h"
#include "Spectrum.h"

using namespace cli;

// Fontconfig keeps a cache it never frees; under LeakSanitizer that is not ours to report.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace {

constexpr double kPi = 3.14159265358979323846;

// A tone of the given level in dBm (volts across 50 Ohm) plus a little noise, as an instrument sends it.
std::vector<std::complex<double>> tone(double offsetHz, double dbm, double rate, std::size_t n, unsigned seed = 1) {
    const double amp = std::sqrt(0.05 * std::pow(10.0, dbm / 10.0));
    std::mt19937 gen(seed);
    std::normal_distribution<double> noise(0.0, 1e-6);
    std::vector<std::complex<double>> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = std::polar(amp, 2 * kPi * offsetHz * static_cast<double>(i) / rate) +
               std::complex<double>(noise(gen), noise(gen));
    return x;
}

TEST(Spectrum, ToneIsFoundAtItsFrequencyAndLevelOnAndBetweenBins) {
    const double rate = 10e6, centre = 2.4e9;
    const int nfft = 1024;
    const double bin = rate / nfft;
    // On a bin, half-way between two (worst scalloping), and below the centre.
    for (double offset : {100 * bin, 100.5 * bin, -2.5e6 - 0.3 * bin}) {
        const Spectrum s = averagedSpectrum(tone(offset, -20.0, rate, 8 * nfft), centre, rate, nfft);
        EXPECT_EQ(s.blocks, 15);  // half overlap
        const Peak p = strongestPeak(s, centre - rate / 2, centre + rate / 2);
        ASSERT_TRUE(p.found);
        EXPECT_NEAR(p.frequencyHz, centre + offset, 0.1 * bin) << offset;
        EXPECT_NEAR(p.levelDbm, -20.0, 0.2) << offset;
    }
}

TEST(Spectrum, OnBinToneReadsItsLevelInItsBinAndNoiseStaysLow) {
    const double rate = 1e6;
    const Spectrum s = averagedSpectrum(tone(rate / 8, -30.0, rate, 4096), 0, rate, 512);
    const std::vector<double> db = s.levelsDbm();
    EXPECT_NEAR(db[256 + 64], -30.0, 0.01);  // bin 0 is -rate/2
    EXPECT_LT(db[256 - 64], -100.0);         // no image on the other side: I and Q are not swapped
}

TEST(Spectrum, SearchRangeExcludesAStrongerToneOutsideIt) {
    const double rate = 1e6;
    auto x = tone(200e3, -10.0, rate, 8192);
    const auto weak = tone(-100e3, -40.0, rate, 8192, 2);
    for (std::size_t i = 0; i < x.size(); ++i) x[i] += weak[i];
    const Spectrum s = averagedSpectrum(x, 0, rate, 1024);
    const Peak p = strongestPeak(s, -150e3, -50e3);
    ASSERT_TRUE(p.found);
    EXPECT_NEAR(p.frequencyHz, -100e3, rate / 1024);
    EXPECT_NEAR(p.levelDbm, -40.0, 0.3);
    EXPECT_FALSE(strongestPeak(s, 600e3, 700e3).found);
}

TEST(Spectrum, BlocksDoNotStraddleSegments) {
    // Two segments of 1000 samples: 1000-point FFTs fit once in each, never across the join.
    const Spectrum s = averagedSpectrum(tone(0, 0, 1e3, 2000), 0, 1e3, 4096, {1000});
    EXPECT_EQ(s.fftSize, 1000);
    EXPECT_EQ(s.blocks, 2);
    EXPECT_TRUE(averagedSpectrum(tone(0, 0, 1e3, 1), 0, 1e3).power.empty());
}

// Finds the highest trace pixel: the column where the spectrum peaks.
int peakColumn(const QImage& image, const QRect& area) {
    for (int y = area.top() + 1; y < area.bottom(); ++y)
        for (int x = area.left() + 1; x < area.right(); ++x)
            if (image.pixelColor(x, y) == kTraceColour) return x;
    return -1;
}

TEST(Plot, PngShowsThePeakAtTheColumnOfTheToneFrequency) {
    QTemporaryDir dir;
    const double rate = 20e6, centre = 1e9;
    // A quarter of the span above the centre, then a tenth below it.
    for (double offset : {5e6, -2e6}) {
        const Spectrum s = averagedSpectrum(tone(offset, -25.0, rate, 16384), centre, rate, 2048);
        PlotGeometry g;
        const QImage image = renderSpectrum(s, {"Test instrument", "settings"}, &g);
        EXPECT_DOUBLE_EQ(g.lowHz, centre - rate / 2);
        EXPECT_DOUBLE_EQ(g.highHz, centre + rate / 2);
        const QString path = dir.filePath("plot.png");
        QString error;
        ASSERT_TRUE(savePng(image, path, error)) << error.toStdString();

        QImage png;
        ASSERT_TRUE(png.load(path, "PNG"));
        ASSERT_EQ(png.size(), image.size());
        const double expected = g.area.left() + (offset + rate / 2) / rate * g.area.width();
        EXPECT_NEAR(peakColumn(png, g.area), expected, 2.0) << offset;
        // The level axis has room above the peak: the top of the trace is inside the area, not clipped.
        EXPECT_GT(g.topDb, -25.0);
    }
}

TEST(Plot, UnwritablePathIsReported) {
    const Spectrum s = averagedSpectrum(tone(0, 0, 1e3, 256), 0, 1e3, 256);
    QString error;
    EXPECT_FALSE(savePng(renderSpectrum(s, {}), "/nonexistent-folder/p.png", error));
    EXPECT_TRUE(error.startsWith("cannot write /nonexistent-folder/p.png")) << error.toStdString();
}

}  // namespace
