// The plot draws a tone's peak at the pixel column of its frequency. (Where the spectrum finds a tone,
// and how strong, the demo checks against the emulators' programmed tones.)
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

// A tone of the given level in dBm (volts across 50 Ohm) plus a little noise, as an instrument sends it.
std::vector<std::complex<double>> tone(double offsetHz, double dbm, double rate, std::size_t n) {
    const double amp = std::sqrt(0.05 * std::pow(10.0, dbm / 10.0));
    std::mt19937 gen(1);
    std::normal_distribution<double> noise(0.0, 1e-6);
    std::vector<std::complex<double>> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = std::polar(amp, 2 * M_PI * offsetHz * double(i) / rate) + std::complex<double>(noise(gen), noise(gen));
    return x;
}

TEST(Plot, PngShowsThePeakAtTheColumnOfTheToneFrequency) {
    QTemporaryDir dir;
    const double rate = 20e6, centre = 1e9;
    for (double offset : {5e6, -2e6}) {
        const Spectrum s = averagedSpectrum(tone(offset, -25.0, rate, 16384), centre, rate, 2048);
        PlotGeometry g;
        const QImage image = renderSpectrum(s, {"Test instrument", "settings"}, &g);
        QString error;
        ASSERT_TRUE(savePng(image, dir.filePath("plot.png"), error)) << error.toStdString();
        QImage png;
        ASSERT_TRUE(png.load(dir.filePath("plot.png"), "PNG"));
        // The highest trace pixel is the peak's column.
        int column = -1;
        for (int y = g.area.top() + 1; y < g.area.bottom() && column < 0; ++y)
            for (int x = g.area.left() + 1; x < g.area.right() && column < 0; ++x)
                if (png.pixelColor(x, y) == kTraceColour) column = x;
        EXPECT_NEAR(column, g.area.left() + (offset + rate / 2) / rate * g.area.width(), 2.0) << offset;
        EXPECT_GT(g.topDb, -25.0);  // room above the peak: the trace is not clipped
    }
}

}  // namespace
