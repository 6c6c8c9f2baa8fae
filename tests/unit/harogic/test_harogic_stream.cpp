#include <SignalGenerator.h>

#include <cmath>
#include <complex>
#include <vector>

#include "HarogicFixture.h"

namespace {

constexpr double K = Harogic::kScale;

// Every packet carries the pairs (j, -j) for j = 0 .. P-1, so a point shows which packet slot it came from.
void rampPackets(uint32_t perPacket, float scale) {
    std::vector<int16_t> iq;
    for (uint32_t j = 0; j < perPacket; ++j) {
        iq.push_back(int16_t(j));
        iq.push_back(int16_t(-int(j)));
    }
    HtraSim_SetRawSamples(0, iq.data(), perPacket, scale);
    HtraSim_SetSamplesPerPacket(0, perPacket);
}

double converted(int16_t sample, float scale) {
    return double(float(sample) * scale) * K;
}

struct PacketCase {
    uint32_t perPacket;
    int points;
    int packets;
};

class HarogicPackets : public HarogicTest, public ::testing::WithParamInterface<PacketCase> {};

INSTANTIATE_TEST_SUITE_P(Arithmetic, HarogicPackets,
                         ::testing::Values(PacketCase{4096, 10000, 3}, PacketCase{4096, 4096, 1},
                                           PacketCase{1000, 2001, 3}, PacketCase{512, 0, 0}));

TEST_P(HarogicPackets, ReadsWholePacketsAndCopiesOnlyWhatFits) {
    const PacketCase c = GetParam();
    rampPackets(c.perPacket, 0.001f);
    auto h = connect();
    h->setNumPoints(c.points);
    h->curFrequency = 123;  // a 0-point acquisition must keep it
    const int reads = calls(HTRASIM_GET_IQ_STREAM), stops = calls(HTRASIM_BUS_TRIGGER_STOP);
    QVector<IQ_Elem> out(5);
    h->getData(&out);
    EXPECT_EQ(calls(HTRASIM_GET_IQ_STREAM) - reads, c.packets);
    EXPECT_EQ(calls(HTRASIM_BUS_TRIGGER_STOP) - stops, 1);
    ASSERT_EQ(out.size(), c.points);
    for (int i = 0; i < c.points; i += 997) {
        const int16_t slot = int16_t(i % c.perPacket);
        EXPECT_EQ(out[i].I, converted(slot, 0.001f)) << i;
        EXPECT_EQ(out[i].Q, converted(int16_t(-slot), 0.001f)) << i;
    }
    if (c.points > 0) {
        EXPECT_EQ(out.last().I, converted(int16_t((c.points - 1) % c.perPacket), 0.001f));
        EXPECT_EQ(h->curFrequency, 1e9);
    } else {
        EXPECT_EQ(h->curFrequency, 123);
    }
}

TEST_F(HarogicTest, SamplesAreScaledInSinglePrecisionThenByTheFixedGain) {
    const int16_t pair[2] = {1000, -1000};
    HtraSim_SetRawSamples(0, pair, 1, 0.0001f);
    auto h = connect();
    QVector<IQ_Elem> out;
    h->getData(&out);
    ASSERT_EQ(out.size(), 10000);
    const double expected = double(1000.0f * 0.0001f) * K;
    ASSERT_NE(expected, 0.1 * K);  // the test only means something if the two differ
    EXPECT_EQ(out[0].I, expected);
    EXPECT_EQ(out[0].Q, -expected);
    EXPECT_EQ(out[9999].I, expected);
}

TEST_F(HarogicTest, ToneAppearsAtItsOffsetAndLevel) {
    const double tone = 410 * 1.5e7 / 4096;  // on a DFT bin of the 4096-point block
    HtraSim_SetSignal(0, tone, -20, -110);
    params = {3e9, 1.5e7, 0};
    auto h = connect();
    h->setNumPoints(4096);
    QVector<IQ_Elem> out;
    h->getData(&out);
    ASSERT_EQ(out.size(), 4096);
    const double rate = h->getCurSampleRate();
    EXPECT_EQ(rate, 1.5e7);
    auto amplitudeAt = [&](double f) {
        std::complex<double> sum;
        for (int n = 0; n < out.size(); ++n)
            sum += std::complex<double>(out[n].I, out[n].Q) * std::polar(1.0, -2 * M_PI * f * n / rate);
        return std::abs(sum) / out.size();
    };
    const double expected = sim::dbmToVolts(-20) * K;
    EXPECT_NEAR(amplitudeAt(tone) / expected, 1.0, 0.06);
    EXPECT_LT(amplitudeAt(-tone), expected / 100);  // I and Q in the right order
    EXPECT_EQ(h->getParams(CUR).frequency, 3e9);
    EXPECT_EQ(status, 0);
}

TEST_F(HarogicTest, OnlyTheFirstPacketOfAnAcquisitionUpdatesTheSampleRate) {
    auto h = connect();
    EXPECT_EQ(h->getCurSampleRate(), 1.5e7);
    HtraSim_SetNativeRate(0, 1e8, calls(HTRASIM_GET_IQ_STREAM) + 2);
    QVector<IQ_Elem> out;
    h->getData(&out);
    EXPECT_EQ(h->getCurSampleRate(), 1.5e7);
    h->getData(&out);
    EXPECT_EQ(h->getCurSampleRate(), 1.25e7);
}

TEST_F(HarogicTest, SaturatedPacketsAreKept) {
    auto h = connect();
    injectPackets(-12, 3);
    QVector<IQ_Elem> out;
    h->getData(&out);
    EXPECT_EQ(out.size(), 10000);
    EXPECT_EQ(status, -12);
    EXPECT_TRUE(HtraSim_IsOpen(0));
}

TEST_F(HarogicTest, BusTimeoutReconfiguresOnceAndAcquiresAgain) {
    auto h = connect();
    const int deinits = calls(HTRASIM_PROFILE_DEINIT);
    injectPackets(-10);
    QVector<IQ_Elem> out;
    h->getData(&out);
    EXPECT_EQ(out.size(), 10000);
    EXPECT_EQ(calls(HTRASIM_PROFILE_DEINIT) - deinits, 1);
    EXPECT_EQ(LogCapture::count("Warning: bus timeout "), 1);
    EXPECT_EQ(status, 0);

    // Time-outs with no good packet in between: one reconfiguration, then give up.
    injectPackets(-10, 3);  // the acquisition, the priming read, the repeated acquisition
    h->getData(&out);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(calls(HTRASIM_PROFILE_DEINIT) - deinits, 2);
    EXPECT_EQ(status, -10);
    EXPECT_TRUE(HtraSim_IsOpen(0));
}

TEST_F(HarogicTest, DeviceThatTimesOutAfterEveryGoodPrimingStillEnds) {
    auto h = connect();
    const int deinits = calls(HTRASIM_PROFILE_DEINIT);
    for (int k = 1; k <= 40; k += 2) injectPackets(-10, 1, k);  // priming reads in between succeed
    QVector<IQ_Elem> out;
    h->getData(&out);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_LE(calls(HTRASIM_PROFILE_DEINIT) - deinits, 5);
    EXPECT_EQ(status, -10);
}

TEST_F(HarogicTest, OtherPacketFailuresCloseTheDeviceAndTemperatureOnlyWarns) {
    auto h = connect();
    QVector<IQ_Elem> out;
    injectPackets(-14, 1, 2);
    const int stops = calls(HTRASIM_BUS_TRIGGER_STOP);
    h->getData(&out);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(status, -14);
    EXPECT_TRUE(HtraSim_IsOpen(0));
    EXPECT_EQ(calls(HTRASIM_BUS_TRIGGER_STOP), stops);

    injectPackets(-7, 1, 3);
    h->getData(&out);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(status, -7);
    EXPECT_FALSE(HtraSim_IsOpen(0));
    EXPECT_EQ(calls(HTRASIM_DEVICE_CLOSE), 1);
    EXPECT_TRUE(LogCapture::all().contains("other error Status = -7"));

    const int reads = calls(HTRASIM_GET_IQ_STREAM);
    out = QVector<IQ_Elem>(3, IQ_Elem{1, 2});
    h->getData(&out);
    EXPECT_EQ(out.size(), 3);
    EXPECT_EQ(out[2].Q, 2);
    EXPECT_EQ(calls(HTRASIM_GET_IQ_STREAM), reads);
    EXPECT_EQ(calls(HTRASIM_GET_IQ_STREAM, HTRASIM_UNKNOWN_HANDLE), 0);
}

TEST_F(HarogicTest, ZeroSamplesPerPacketEndsWithAnEmptyBlock) {
    HtraSim_SetSamplesPerPacket(0, 0);
    auto h = connect();
    QVector<IQ_Elem> out(4);
    h->getData(&out);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(calls(HTRASIM_GET_IQ_STREAM), 0);
}

}  // namespace
