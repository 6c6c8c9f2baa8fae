// What the emulator digitises: the response table it reports, tones at their offsets shaped by that
// response, phase continuity across the blocks of one acquisition, and pipelined acquisitions.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>

#include "SkServer.h"
#include "SkTestClient.h"

using sktest::Client;
using sktest::Reply;

namespace {
constexpr uint16_t kClk = 50, kFreq = 56, kIfBw = 66, kRespFreq = 105, kRespAmp = 106;
constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 4.5e6;  // behind the 3 MHz IF filter

struct Table {
    std::vector<double> f, a;
};

Table readTable(Client& c) {
    Table t;
    const Reply rf = c.exchange(kRespFreq, 0x60, {});
    const Reply ra = c.exchange(kRespAmp, 0x42, {});
    EXPECT_EQ(rf.numParam(), 2);
    EXPECT_EQ(ra.numParam(), 2);
    const int n = int(rf.value(1));
    EXPECT_EQ(ra.value(1), n);
    EXPECT_EQ(rf.bodyLen(), 14 + 6 * n);
    EXPECT_EQ(ra.bodyLen(), 10 + 4 * n);
    for (int i = 0; i < n && rf.body.size() >= std::size_t(20 + 6 * i); ++i)
        t.f.push_back(sktest::fixed(rf.body, 14 + 6 * i, 6, 0));
    for (int i = 0; i < n && ra.body.size() >= std::size_t(14 + 4 * i); ++i)
        t.a.push_back(sktest::fixed(ra.body, 10 + 4 * i, 4, 2));
    return t;
}

double interpolate(const Table& t, double f) {
    std::size_t i = std::upper_bound(t.f.begin(), t.f.end(), f) - t.f.begin();
    i = std::clamp<std::size_t>(i, 1, t.f.size() - 1);
    const double w = (f - t.f[i - 1]) / (t.f[i] - t.f[i - 1]);
    return t.a[i - 1] + w * (t.a[i] - t.a[i - 1]);
}

std::vector<std::complex<double>> acquire(Client& c, double index, double block, double total) {
    c.exchange(kClk, 0x40, {index, block, 1, total});
    c.bare(6);
    const Reply r = c.reply();
    EXPECT_EQ(r.command(), 6);
    EXPECT_EQ(r.numParam(), 2);
    EXPECT_EQ(r.lenFrac(), 0x40);
    EXPECT_EQ(sktest::s16(r.body, r.body.size() - 2), 0);  // body status
    std::vector<std::complex<double>> x((r.body.size() - 2) / 8);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = {double(sktest::s32(r.body, 8 * i)), double(sktest::s32(r.body, 8 * i + 4))};
    return x;
}

// Complex amplitude of the component at offset hz in x, with x[0] taken as sample number first.
std::complex<double> component(const std::vector<std::complex<double>>& x, double hz, double rate,
                               double first = 0) {
    std::complex<double> sum;
    for (std::size_t n = 0; n < x.size(); ++n)
        sum += x[n] * std::polar(1.0, -2 * kPi * hz * (double(n) + first) / rate);
    return sum / double(x.size());
}

sim::sk::Settings quiet(std::vector<sim::Tone> tones) {
    sim::sk::Settings s;
    s.tones = std::move(tones);
    s.noiseDbm = -400;
    return s;
}

TEST(SkSimSignal, ResponseTableSpansJustBelowTheSampleRateAndMovesWithEveryRetune) {
    sim::sk::Server server;
    ASSERT_TRUE(server.start());
    Client c(server.port());
    c.exchange(kFreq, 0x60, {2e9, 1, 0});
    c.exchange(kIfBw, 0x40, {3e6});
    const Table t = readTable(c);
    ASSERT_EQ(t.f.size(), 161u);
    ASSERT_EQ(t.a.size(), 161u);
    EXPECT_TRUE(std::is_sorted(t.f.begin(), t.f.end()));
    EXPECT_NEAR((t.f.front() + t.f.back()) / 2, 2e9, 1);
    const double span = t.f.back() - t.f.front();
    EXPECT_LT(span, kRate);
    EXPECT_GT(span, 0.6 * kRate);
    // Tilt and ripple of several dB: a straight line between the ends misses the table by a dB or more.
    const auto [lo, hi] = std::minmax_element(t.a.begin(), t.a.end());
    EXPECT_GT(*hi - *lo, 4.0);
    double worst = 0;
    for (std::size_t i = 0; i < t.a.size(); ++i)
        worst = std::max(worst, std::abs(t.a[i] - (t.a.front() + (t.a.back() - t.a.front()) * i / 160.0)));
    EXPECT_GT(worst, 1.0);
    EXPECT_EQ(server.state().responseFrequencies, t.f);

    c.exchange(kFreq, 0x60, {3e9, 1, 0});
    const Table moved = readTable(c);
    ASSERT_EQ(moved.f.size(), t.f.size());
    EXPECT_NEAR(moved.f.front() - t.f.front(), 1e9, 1);
    EXPECT_NE(moved.a, t.a);
    c.exchange(kIfBw, 0x40, {100e3});  // 450 kHz sample rate
    const Table narrow = readTable(c);
    EXPECT_LT(narrow.f.back() - narrow.f.front(), 450e3);
    EXPECT_GT(narrow.f.back() - narrow.f.front(), 0.6 * 450e3);

    sim::sk::Settings s = server.settings();
    for (int points : {0, 1}) {
        s.responsePoints = points;
        server.setSettings(s);
        const Table degenerate = readTable(c);
        EXPECT_EQ(degenerate.f.size(), std::size_t(points));
        if (points == 1) {
            EXPECT_EQ(degenerate.f[0], 3e9);
        }
    }
}

TEST(SkSimSignal, TonesAppearAtTheirOffsetsShapedByTheReportedResponse) {
    const std::vector<sim::Tone> tones{{1e6, -20}, {-1.5e6, -30}, {0.3e6, -25}};
    sim::sk::Server server(quiet(tones));
    ASSERT_TRUE(server.start());
    Client c(server.port());
    c.exchange(kFreq, 0x60, {2e9, 1, 0});
    c.exchange(kIfBw, 0x40, {3e6});
    const Table t = readTable(c);
    const auto x = acquire(c, 0, 8188, 8188);
    ASSERT_EQ(x.size(), 8188u);
    const double k = server.settings().countsPerVolt;
    double spread = 0;
    for (const sim::Tone& tone : tones) {
        const double expected = tone.levelDbm + interpolate(t, 2e9 + tone.offsetHz);
        const double measured = sim::voltsToDbm(std::abs(component(x, tone.offsetHz, kRate)) / k);
        EXPECT_NEAR(measured, expected, 0.05) << "tone at " << tone.offsetHz;
        spread = std::max(spread, std::abs(expected - tone.levelDbm));
    }
    EXPECT_GT(spread, 1.0);  // the response really shapes them
    EXPECT_LT(std::abs(component(x, -1e6, kRate)),
              3e-3 * std::abs(component(x, 1e6, kRate)));  // no mirror image
}

TEST(SkSimSignal, BlocksOfOneAcquisitionJoinInPhaseAndANewAcquisitionStartsAfresh) {
    sim::sk::Server server(quiet({{1.1e6, -10}}));
    ASSERT_TRUE(server.start());
    Client c(server.port());
    c.exchange(kIfBw, 0x40, {3e6});
    const auto a = acquire(c, 0, 8188, 16376);
    const auto b = acquire(c, 8188, 8188, 16376);
    const auto ca = component(a, 1.1e6, kRate), cb = component(b, 1.1e6, kRate, 8188);
    EXPECT_LT(std::abs(ca - cb), 1e-4 * std::abs(ca));
    const auto again = acquire(c, 0, 4, 4);
    ASSERT_EQ(again.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_LE(std::abs(again[i] - a[i]), 1.0);
}

TEST(SkSimSignal, KeepsReadingPipelinedRequestsWhileItsRepliesBackUp) {
    sim::sk::Server server;
    ASSERT_TRUE(server.start());
    Client c(server.port());
    constexpr int kPairs = 500;  // about 33 MB of replies, far beyond what socket buffers hold
    std::vector<uint8_t> burst;
    for (int i = 0; i < kPairs; ++i) {
        const auto clk =
            Client::message(3, kClk, 0x40, {8188.0 * i, 8188, 1, 8188.0 * kPairs}, uint32_t(2 * i + 1));
        const auto run = Client::header(6, 0, 0, 0, uint32_t(2 * i + 2));
        burst.insert(burst.end(), clk.begin(), clk.end());
        burst.insert(burst.end(), run.begin(), run.end());
    }
    c.send(burst);
    EXPECT_TRUE(server.waitForRequests(2 * kPairs, 30000));  // all received before we read a byte
    for (int i = 0; i < kPairs; ++i) {
        const Reply clk = c.reply(), run = c.reply();
        ASSERT_EQ(clk.command(), 3);
        ASSERT_EQ(clk.sequence(), uint32_t(2 * i + 1));
        ASSERT_EQ(clk.value(0), 8188.0 * i);
        ASSERT_EQ(run.command(), 6);
        ASSERT_EQ(run.sequence(), uint32_t(2 * i + 2));
        ASSERT_EQ(run.bodyLen(), 8188 * 8 + 2);
        ASSERT_EQ(run.body.size(), run.bodyLen());
    }
    EXPECT_EQ(server.state().dataReplies, unsigned(kPairs));
}

}  // namespace
