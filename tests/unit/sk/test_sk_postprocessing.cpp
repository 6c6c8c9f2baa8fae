// Spectral post-processing checked against a direct DFT written here without FFTW, a tone's level
// and frequency through it, the band edge, the trim, and the interpolation of the response table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "backends/sk/SK.h"

namespace {

using Block = std::vector<std::complex<double>>;
constexpr double kPi = 3.14159265358979323846;
constexpr double kScale = 0.4263694993781802;

double interpolate(const std::vector<double>& xs, const std::vector<double>& ys, double x) {
    if (x <= xs.front()) return ys.front();
    if (x >= xs.back()) return ys.back();
    const std::size_t i = std::upper_bound(xs.begin(), xs.end(), x) - xs.begin();
    const double w = (x - xs[i - 1]) / (xs[i] - xs[i - 1]);
    return ys[i - 1] + w * (ys[i] - ys[i - 1]);
}

// Pad to a power of two, transform, divide by the response, keep |offset| <= 3/8 of the table's
// span, transform back and drop 5 % at each end, all by definition.
Block reference(Block x, double fc, double fs, const std::vector<double>& hz, const std::vector<double>& db) {
    std::size_t n = 1;
    while (n < x.size()) n *= 2;
    x.resize(n);
    const double limit = 0.375 * (hz.back() - hz.front());
    Block kept;
    for (std::size_t k = 0; k < n; ++k) {
        const double offset = (k < n / 2 ? double(k) : double(k) - double(n)) * fs / double(n);
        if (std::abs(offset) > limit) continue;
        std::complex<double> sum;
        for (std::size_t t = 0; t < n; ++t)
            sum += x[t] * std::polar(1.0, -2 * kPi * double(k * t % n) / double(n));
        kept.push_back(sum * std::pow(10.0, -interpolate(hz, db, fc + offset) / 20) * kScale / double(n));
    }
    const std::size_t l = kept.size();
    Block z(l);
    for (std::size_t t = 0; t < l; ++t)
        for (std::size_t j = 0; j < l; ++j)
            z[t] += kept[j] * std::polar(1.0, 2 * kPi * double(j * t % l) / double(l));
    const std::size_t first = (5 * l + 99) / 100, end = 95 * l / 100;
    return end > first ? Block(z.begin() + long(first), z.begin() + long(end)) : Block{};
}

class SkPostProcessing : public testing::Test {
protected:
    void SetUp() override {
        sk.status = &status;
        sk.params = &params;
    }
    void table(std::vector<double> hz, std::vector<double> db) {
        sk.m_responseFrequencies = std::move(hz);
        sk.m_responseAmplitudes = std::move(db);
    }
    Block tone(std::size_t n, double bin, double amplitude) {
        Block x(n);
        for (std::size_t t = 0; t < n; ++t)
            x[t] = std::polar(amplitude, 2 * kPi * bin * double(t) / double(n));
        return x;
    }

    SK sk;
    ViStatus status = 0;
    Params params{1e9, 8e6, 0};
};

TEST_F(SkPostProcessing, AgreesWithADirectTransform) {
    // An uneven table with tilt and ripple, reaching further above the centre than below it.
    std::vector<double> hz, db;
    for (int i = 0; i <= 11; ++i) {
        hz.push_back(1e9 - 3e6 + 6.6e6 * i / 11);
        db.push_back(-2 + 0.5 * i + 1.5 * std::sin(1.7 * i));
    }
    table(hz, db);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-1000, 1000);
    // Planned afresh, then on kept plans (sizes coming back), then on measured plans from a wisdom file.
    const std::string wisdom = testing::TempDir() + "sk_postprocessing.wisdom";
    std::remove(wisdom.c_str());
    for (const char* plans : {"0", "8", "8w"}) {
        setenv("TRELVAN_FFT_PLANS", plans[1] == 'w' ? "8" : plans, 1);
        if (plans[1] == 'w') setenv("TRELVAN_FFTW_WISDOM", wisdom.c_str(), 1);
        for (std::size_t m : {5, 16, 24, 100, 24, 5}) {
            Block x(m);
            for (auto& v : x) v = {value(random), value(random)};
            const Block expected = reference(x, params.frequency, params.sampleRate, hz, db);
            sk.PostProcessing(&x);
            ASSERT_EQ(x.size(), expected.size()) << m << " " << plans;
            double peak = 0;
            for (const auto& v : expected) peak = std::max(peak, std::abs(v));
            for (std::size_t i = 0; i < x.size(); ++i)
                EXPECT_NEAR(std::abs(x[i] - expected[i]), 0, 1e-9 * peak) << m << " " << plans;
        }
    }
    unsetenv("TRELVAN_FFT_PLANS");
    unsetenv("TRELVAN_FFTW_WISDOM");
    EXPECT_NE(std::ifstream(wisdom).peek(), std::ifstream::traits_type::eof()) << "no wisdom saved";
    std::remove(wisdom.c_str());
}

TEST_F(SkPostProcessing, ThreadsGiveWhatOneThreadGives) {
    // Big enough for threads; 3 of them split it unevenly.
    table({1e9 - 3e6, 1e9 + 3.5e6}, {1, -2});
    std::mt19937 random(3);
    std::uniform_real_distribution<double> value(-1, 1);
    Block x((1 << 17) - 5);
    for (auto& v : x) v = {value(random), value(random)};
    setenv("TRELVAN_FFT_THREADS", "1", 1);
    Block expected = x;
    sk.PostProcessing(&expected);
    double peak = 0;
    for (const auto& v : expected) peak = std::max(peak, std::abs(v));
    for (const char* threads : {"2", "3"}) {
        setenv("TRELVAN_FFT_THREADS", threads, 1);
        Block y = x;
        sk.PostProcessing(&y);
        ASSERT_EQ(y.size(), expected.size()) << threads;
        double worst = 0;
        for (std::size_t i = 0; i < y.size(); ++i) worst = std::max(worst, std::abs(y[i] - expected[i]));
        EXPECT_LE(worst, 1e-9 * peak) << threads;
    }
    unsetenv("TRELVAN_FFT_THREADS");
}

TEST_F(SkPostProcessing, AToneKeepsItsFrequencyAndLosesTheResponse) {
    for (double response : {0.0, 20.0}) {
        table({1e9 - 4e6, 1e9 + 4e6}, {response, response});
        Block x = tone(64, 3, 2.0);  // 375 kHz above the centre; 49 bins of 125 kHz kept
        sk.PostProcessing(&x);
        ASSERT_EQ(x.size(), 43u);
        const double level = 2.0 * kScale * std::pow(10.0, -response / 20);
        for (std::size_t i = 0; i + 1 < x.size(); ++i) {
            EXPECT_NEAR(std::abs(x[i]), level, 1e-12);
            EXPECT_NEAR(std::arg(x[i + 1] / x[i]), 2 * kPi * 3 / 49, 1e-9);
        }
    }
}

TEST_F(SkPostProcessing, TheBandEdgeBinStaysAndShortBlocksTrimToNothing) {
    // Over 8 MHz the kept band reaches exactly the bin 3 MHz out on either side: 7 of 8 bins.
    table({1e9 - 4e6, 1e9 + 4e6}, {0, 0});
    Block x = tone(8, 1, 1.0);
    sk.PostProcessing(&x);
    EXPECT_EQ(x.size(), 5u);

    table({1e9 - 1, 1e9 + 1}, {0, 0});  // one bin kept
    x = tone(8, 1, 1.0);
    sk.PostProcessing(&x);
    EXPECT_TRUE(x.empty());
    table({1e9 - 6e6, 1e9 + 6e6}, {0, 0});  // both bins of two kept
    x = tone(2, 1, 1.0);
    sk.PostProcessing(&x);
    EXPECT_TRUE(x.empty());
}

TEST_F(SkPostProcessing, WithoutATableOrWithAFailureTheBlockStaysAsItIs) {
    const Block x = tone(10, 1, 1.0);
    for (const auto& hz : {std::vector<double>{}, std::vector<double>{1e9}, std::vector<double>{1e9, 1e9}}) {
        table(hz, hz);
        Block y = x;
        sk.PostProcessing(&y);
        EXPECT_EQ(y, x);
    }
    table({1e9 - 4e6, 1e9 + 4e6}, {0, 0});
    status = VI_ERROR_TMO;
    Block y = x;
    sk.PostProcessing(&y);
    EXPECT_EQ(y, x);
}

TEST(SkInterpolation, LinearBetweenPointsAndFlatBeyond) {
    SK sk;
    const std::vector<double> xs{1, 2}, ys{10, 20};
    EXPECT_EQ(sk.GetInterpolatedValue(1.5, xs, ys), 15);
    EXPECT_EQ(sk.GetInterpolatedValue(0, xs, ys), 10);
    EXPECT_EQ(sk.GetInterpolatedValue(5, xs, ys), 20);
    EXPECT_EQ(sk.GetInterpolatedValue(1.5, {}, {}), 0);
    // Far from evenly spaced, so the first guess lands in the wrong segment.
    const std::vector<double> uneven{0, 1, 2, 100}, values{0, 10, 20, 30};
    EXPECT_DOUBLE_EQ(sk.GetInterpolatedValue(1.5, uneven, values), 15);
    EXPECT_DOUBLE_EQ(sk.GetInterpolatedValue(99, uneven, values), 20 + 10 * 97.0 / 98);
    // Tables out of order or short of values give some value, without reading past their ends.
    for (double x : {-1.0, 2.0, 4.0, 6.0, std::nan("")}) {
        sk.GetInterpolatedValue(x, {5, 1, 3, 9, 0}, {1, 2, 3, 4, 5});
        sk.GetInterpolatedValue(x, {1, 3, 5}, {1});
    }
}

}  // namespace
