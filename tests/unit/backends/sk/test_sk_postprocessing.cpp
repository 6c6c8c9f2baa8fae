// The spectral post-processing against a direct DFT written here without FFTW: response correction,
// the kept band with its edge bin, the trim, the output scale, on fresh and kept plans and on
// several threads; and the interpolation of the response table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "backends/sk/Sk.h"

namespace {

using Block = std::vector<std::complex<double>>;
constexpr double kPi = 3.14159265358979323846;

double interpolate(const std::vector<double>& xs, const std::vector<double>& ys, double x) {
    if (x <= xs.front()) return ys.front();
    if (x >= xs.back()) return ys.back();
    const std::size_t i = std::upper_bound(xs.begin(), xs.end(), x) - xs.begin();
    const double w = (x - xs[i - 1]) / (xs[i] - xs[i - 1]);
    return ys[i - 1] + w * (ys[i] - ys[i - 1]);
}

// Pad to a power of two, transform, divide by the response, keep |offset| <= 3/8 of the table's span,
// transform back and drop 5 % at each end, all by definition.
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
        kept.push_back(sum * std::pow(10.0, -interpolate(hz, db, fc + offset) / 20) * 0.4263694993781802 /
                       double(n));
    }
    const std::size_t l = kept.size();
    Block z(l);
    for (std::size_t t = 0; t < l; ++t)
        for (std::size_t j = 0; j < l; ++j)
            z[t] += kept[j] * std::polar(1.0, 2 * kPi * double(j * t % l) / double(l));
    const std::size_t first = (5 * l + 99) / 100, end = 95 * l / 100;
    return end > first ? Block(z.begin() + long(first), z.begin() + long(end)) : Block{};
}

// The largest difference between two blocks, relative to the largest value of the second.
double worstRelative(const Block& got, const Block& want) {
    double peak = 0, worst = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        peak = std::max(peak, std::abs(want[i]));
        worst = std::max(worst, std::abs(got[i] - want[i]));
    }
    return peak > 0 ? worst / peak : worst;
}

class SkPostProcessing : public testing::Test {
protected:
    void SetUp() override {
        sk.status = &status;
        sk.params = &params;
    }
    Block noise(std::size_t m) {
        Block x(m);
        for (auto& v : x) v = {value(random), value(random)};
        return x;
    }
    SK sk;
    ViStatus status = 0;
    Params params{1e9, 8e6, 0};
    std::mt19937 random{7};
    std::uniform_real_distribution<double> value{-1000, 1000};
};

TEST_F(SkPostProcessing, AgreesWithADirectTransform) {
    // An uneven table with tilt and ripple, reaching further above the centre than below it.
    std::vector<double> hz, db;
    for (int i = 0; i <= 11; ++i) {
        hz.push_back(1e9 - 3e6 + 6.6e6 * i / 11);
        db.push_back(-2 + 0.5 * i + 1.5 * std::sin(1.7 * i));
    }
    struct Case {
        std::vector<double> hz, db;
        std::vector<std::size_t> sizes;  // of the blocks in
        std::size_t length;              // of those out; 0: whatever the reference gives
    };
    const Case cases[] = {
        {hz, db, {5, 16, 100, 24}, 0},
        {{1e9 - 4e6, 1e9 + 4e6}, {3, 3}, {8}, 5},  // the bins 3 MHz out lie on the band edge: 7 of 8 kept
        {{1e9 - 1, 1e9 + 1}, {0, 0}, {8}, 0},      // one bin kept, nothing left after the trim
        {{1e9 - 6e6, 1e9 + 6e6}, {0, 0}, {2}, 0},  // two kept, likewise
    };
    // Planned afresh for every transform, then on kept plans (sizes come back).
    for (const char* plans : {"0", "8"}) {
        setenv("TRELVAN_FFT_PLANS", plans, 1);
        for (const Case& c : cases) {
            for (std::size_t m : c.sizes) {
                sk.m_responseFrequencies = c.hz;
                sk.m_responseAmplitudes = c.db;
                Block x = noise(m);
                const Block expected = reference(x, params.frequency, params.sampleRate, c.hz, c.db);
                sk.PostProcessing(&x);
                ASSERT_EQ(x.size(), expected.size()) << m << " " << plans;
                EXPECT_TRUE(c.length == 0 || x.size() == c.length) << x.size();
                EXPECT_LE(worstRelative(x, expected), 1e-9) << m << " " << plans;
            }
        }
    }
    unsetenv("TRELVAN_FFT_PLANS");
}

TEST_F(SkPostProcessing, ThreadsGiveWhatOneThreadGives) {
    // Big enough for threads; three of them split it unevenly.
    sk.m_responseFrequencies = {1e9 - 3e6, 1e9 + 3.5e6};
    sk.m_responseAmplitudes = {1, -2};
    const Block x = noise((1 << 17) - 5);
    setenv("TRELVAN_FFT_THREADS", "1", 1);
    Block expected = x;
    sk.PostProcessing(&expected);
    setenv("TRELVAN_FFT_THREADS", "3", 1);
    Block y = x;
    sk.PostProcessing(&y);
    unsetenv("TRELVAN_FFT_THREADS");
    ASSERT_EQ(y.size(), expected.size());
    EXPECT_LE(worstRelative(y, expected), 1e-9);
}

TEST(SkInterpolation, LinearBetweenPointsAndFlatBeyond) {
    SK sk;
    const std::vector<double> xs{1, 2}, ys{10, 20};
    const std::pair<double, double> cases[] = {{1.5, 15}, {0, 10}, {5, 20}};
    for (auto [x, y] : cases) EXPECT_EQ(sk.GetInterpolatedValue(x, xs, ys), y) << x;
    EXPECT_EQ(sk.GetInterpolatedValue(1.5, {}, {}), 0);
    // Far from evenly spaced, so the first guess lands in the wrong segment.
    const std::vector<double> uneven{0, 1, 2, 100}, values{0, 10, 20, 30};
    EXPECT_DOUBLE_EQ(sk.GetInterpolatedValue(1.5, uneven, values), 15);
    EXPECT_DOUBLE_EQ(sk.GetInterpolatedValue(99, uneven, values), 20 + 10 * 97.0 / 98);
    EXPECT_EQ(sk.GetInterpolatedValue(4, {1, 3, 5}, {7}), 7);  // fewer values than points: no read past them
}

}  // namespace
