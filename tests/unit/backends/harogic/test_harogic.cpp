// One Harogic backend over the stand-in: the profile it configures, the packets it turns into a block, and
// the state query and the reconnect, which no host call reaches, with its log when the device does not
// open. How each device-library failure of a host call ends is stated once, through the facade, by the
// fault matrix.
#include <vector>

#include "HarogicFixture.h"

namespace {

// Boundaries of the decimation scan and of the open interval in which the converter follows the request:
// requested, clamped, decimation, native rate.
const double kRates[][4] = {{1e7, 1e7, 8, 1.2e8},         {15625000, 15625000, 8, 1.2e8}, {3e7, 3e7, 4, 1.2e8},
                            {3.1e7, 3.1e7, 4, 124000000}, {1e8, 1e8, 1, 1.25e8},          {1.22e8, 1.22e8, 1, 122000000},
                            {2e8, 1.25e8, 1, 1.25e8},     {1e3, 29297, 4096, 120000512},  {30000, 30000, 4096, 122880000}};

TEST_F(HarogicTest, ProfileCarriesDecimationAndNativeRateAndTheCallerSeesTheClamp) {
    HtraSim_SetDeviceCount(3);
    r.params = {5e8, 2e8, 5};
    auto h = connect("USB::2");
    EXPECT_EQ(log.lines(), (QStringList{"try open haogic = 2", "Harogic connected;"}));
    EXPECT_EQ(r.params.sampleRate, 1.25e8);  // the facade's record gets the clamp
    for (const auto& c : kRates) {
        Params p{2.4e9, c[0], -10};
        h->setParams(p);
        HtraSimProfile profile{};
        ASSERT_EQ(HtraSim_GetProfile(2, &profile), 0);
        EXPECT_EQ(profile.decimation, c[2]) << c[0];
        EXPECT_EQ(profile.nativeRate, c[3]) << c[0];
        EXPECT_EQ(p.sampleRate, c[1]);
        EXPECT_EQ(h->lastParams.sampleRate, c[0]);
        // The priming acquisition replaced the native rate with the output rate the device reports.
        EXPECT_EQ(h->getCurSampleRate(), c[3] / c[2]) << c[0];
    }
}

// Packets carry the pairs (j, -j) for j = 0 .. P-1, so a point shows which packet slot it came from;
// scaled in single precision, then by the fixed gain.
TEST_F(HarogicTest, ReadsWholePacketsAndCopiesOnlyWhatFits) {
    const int cases[][3] = {{4096, 10000, 3}, {4096, 4096, 1}, {1000, 2001, 3}, {512, 0, 0}};  // P, points, packets
    for (const auto& [perPacket, points, packets] : cases) {
        HtraSim_Reset();
        std::vector<int16_t> iq;
        for (int j = 0; j < perPacket; ++j) iq.insert(iq.end(), {int16_t(j), int16_t(-j)});
        HtraSim_SetRawSamples(0, iq.data(), perPacket, 0.001f);
        HtraSim_SetSamplesPerPacket(0, perPacket);
        auto h = connect();
        h->setNumPoints(points);
        h->curFrequency = 123;  // a 0-point acquisition must keep it
        const int reads = calls(HTRASIM_GET_IQ_STREAM);
        QVector<IQ_Elem> out(5);
        h->getData(&out);
        EXPECT_EQ(calls(HTRASIM_GET_IQ_STREAM) - reads, packets);
        ASSERT_EQ(out.size(), points);
        const auto converted = [](int slot) { return double(float(int16_t(slot)) * 0.001f) * Harogic::kScale; };
        for (int i = 0; i < points; i += 97) {
            EXPECT_EQ(out[i].I, converted(i % perPacket)) << i;
            EXPECT_EQ(out[i].Q, converted(-(i % perPacket))) << i;
        }
        if (points > 0) {
            EXPECT_EQ(out.last().I, converted((points - 1) % perPacket));
        }
        EXPECT_EQ(h->curFrequency, points > 0 ? 1e9 : 123);
    }
}

// Each time-out is followed by a good priming read, so every one would earn a fresh reconfiguration.
TEST_F(HarogicTest, DeviceThatTimesOutAfterEveryGoodPrimingStillEnds) {
    auto h = connect();
    const int deinits = calls(HTRASIM_PROFILE_DEINIT);
    for (int k = 1; k <= 40; k += 2) injectPackets(-10, 1, k);
    QVector<IQ_Elem> out;
    h->getData(&out);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_LE(calls(HTRASIM_PROFILE_DEINIT) - deinits, 5);
    EXPECT_EQ(r.status, -10);
}

// Without an open device the state query asks the device library nothing. A query that fails closes the
// device, one that only warns keeps it.
TEST_F(HarogicTest, TheStateQueryNeedsAnOpenDeviceAndClosesItWhenTheQueryFails) {
    DeviceState_TypeDef state{};
    Harogic().getState(&state);
    auto h = connect();
    for (const int status : {0, -14, -12, -8}) {
        HtraSim_InjectStatus(0, HTRASIM_QUERY_DEVICE_STATE, calls(HTRASIM_QUERY_DEVICE_STATE) + 1, 1, status);
        h->getState(&state);
        EXPECT_EQ(HtraSim_IsOpen(0), status != -8) << status;
    }
    EXPECT_EQ(state.bytes[7], 0x40);  // 40.0 degrees, the stand-in's device 0, from the good query
    EXPECT_TRUE(log.contains("other error Status ="));
    h->getState(&state);
    // Neither the object that never opened a device nor the one whose device closed asked anything.
    EXPECT_EQ(calls(HTRASIM_QUERY_DEVICE_STATE, HTRASIM_UNKNOWN_HANDLE), 0);
}

// A reconnect opens the device last named, with or without one open, and applies the last parameters. An
// open that fails is tried thirty times and logs the reason, then the status; no device is open then, and
// nothing is configured.
TEST_F(HarogicTest, ReconnectReopensTheLastDeviceWithItsParametersOrTriesThirtyTimesAndLogsWhy) {
    HtraSim_SetDeviceCount(2);
    auto h = connect("USB::1");
    Params p{2.4e9, 1e7, -10};
    h->setParams(p);
    h->disconnectH();
    const int configurations = calls(HTRASIM_CONFIGURATION, 1);
    h->reconnect();
    HtraSimProfile profile{};
    ASSERT_EQ(HtraSim_GetProfile(1, &profile), 0);
    EXPECT_EQ(profile.centreFrequency, 2.4e9);
    const int configured = calls(HTRASIM_CONFIGURATION, 1);
    EXPECT_GT(configured, configurations);

    // The configuration-file text keeps its literal backslash-n; unknown codes get the generic text.
    const std::pair<int, const char*> cases[] = {
        {-1, "Error - Check the device power supply, data cable connection and driver installation\n"},
        {-5, "Error - Configuration file missing\\n"},
        {-7, "return other error Status = %d\n"}};
    for (const auto& [code, text] : cases) {
        const int opens = calls(HTRASIM_DEVICE_OPEN, 1);
        HtraSim_InjectStatus(1, HTRASIM_DEVICE_OPEN, opens + 1, 30, code);
        log.clear();
        h->reconnect();
        EXPECT_EQ(calls(HTRASIM_DEVICE_OPEN, 1) - opens, 30);
        EXPECT_EQ(log.lines(), (QStringList{text, QString::number(code)}));
        EXPECT_FALSE(HtraSim_IsOpen(1));
        EXPECT_EQ(r.status, code);
        EXPECT_EQ(calls(HTRASIM_CONFIGURATION, 1), configured);
    }
}

}  // namespace
