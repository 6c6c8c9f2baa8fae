#include "HarogicFixture.h"

namespace {

struct RateCase {
    double requested, clamped;
    uint32_t decimation;
    double nativeRate;
};

class HarogicRates : public HarogicTest, public ::testing::WithParamInterface<RateCase> {};

// Boundaries of the decimation scan and of the open interval in which the converter rate follows the request.
INSTANTIATE_TEST_SUITE_P(
    Table, HarogicRates,
    ::testing::Values(RateCase{1e7, 1e7, 8, 1.2e8}, RateCase{15625000, 15625000, 8, 1.2e8},
                      RateCase{3e7, 3e7, 4, 1.2e8}, RateCase{3.1e7, 3.1e7, 4, 124000000},
                      RateCase{1e8, 1e8, 1, 1.25e8}, RateCase{1.22e8, 1.22e8, 1, 122000000},
                      RateCase{2e8, 1.25e8, 1, 1.25e8}, RateCase{1e3, 29297, 4096, 120000512},
                      RateCase{30000, 30000, 4096, 122880000}));

TEST_P(HarogicRates, ProfileCarriesDecimationAndNativeRateAndCallerSeesTheClamp) {
    const RateCase c = GetParam();
    auto h = connect();
    Params p{2.4e9, c.requested, -10};
    h->setParams(p);

    HtraSimProfile applied{};
    ASSERT_EQ(HtraSim_GetProfile(0, &applied), 0);
    EXPECT_EQ(applied.decimation, c.decimation);
    EXPECT_EQ(applied.nativeRate, c.nativeRate);
    EXPECT_EQ(applied.centreFrequency, 2.4e9);
    EXPECT_EQ(applied.referenceLevel, -10.0);
    EXPECT_EQ(applied.points, 10000u);
    EXPECT_EQ((std::array<uint32_t, 4>{applied.fixed24, applied.fixed28, applied.fixed36, applied.fixed124}),
              (std::array<uint32_t, 4>{5000, 2, 0, 0}));
    EXPECT_EQ(p.sampleRate, c.clamped);
    EXPECT_EQ(h->lastParams.sampleRate, c.requested);
    // The priming acquisition replaced the native rate with what the device reports.
    EXPECT_EQ(h->getCurSampleRate(), c.nativeRate / c.decimation);
    EXPECT_EQ(status, 0);
}

TEST_F(HarogicTest, ConstructorOpensTheDeviceTheAddressNamesAndAppliesTheFacadeParams) {
    HtraSim_SetDeviceCount(3);
    params = {5e8, 2e8, 5};
    auto h = connect("USB::2");
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(HtraSim_IsOpen(2));
    EXPECT_FALSE(HtraSim_IsOpen(0));
    EXPECT_EQ(params.sampleRate, 1.25e8);  // the facade's record gets the clamp
    HtraSimProfile applied{};
    ASSERT_EQ(HtraSim_GetProfile(2, &applied), 0);
    EXPECT_EQ(applied.centreFrequency, 5e8);
    EXPECT_TRUE(LogCapture::all().contains("try open haogic = 2"));
    EXPECT_TRUE(LogCapture::all().contains("Harogic connected;"));
    EXPECT_EQ(Harogic::deviceNumberOf("1"), 1);
    EXPECT_EQ(Harogic::deviceNumberOf("usb::x"), 0);
    EXPECT_EQ(Harogic::deviceNumberOf("TCPIP::1::8888::SOCKET"), 0);
}

TEST_F(HarogicTest, OpenRetriesThirtyTimesAndLogsTheReasonOfTheLastFailure) {
    HtraSim_SetDeviceCount(0);
    auto h = connect();
    EXPECT_EQ(calls(HTRASIM_DEVICE_OPEN), 30);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(calls(HTRASIM_PROFILE_DEINIT, HTRASIM_UNKNOWN_HANDLE), 0);
    const QStringList log = LogCapture::all();
    const int at =
        log.indexOf("Error - Check the device power supply, data cable connection and driver installation\n");
    ASSERT_GE(at, 0);
    EXPECT_EQ(log.value(at + 1), "-1");
    const QVector<Error> errors = h->getErr();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].code, -1);
    EXPECT_TRUE(errors[0].text.isEmpty());

    // A device that comes up on the third attempt is used.
    HtraSim_SetDeviceCount(1);
    HtraSim_InjectStatus(0, HTRASIM_DEVICE_OPEN, 31, 2, -5);
    LogCapture::start();
    h->connectH(0);
    EXPECT_EQ(calls(HTRASIM_DEVICE_OPEN), 33);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(LogCapture::all(), QStringList{"Harogic connected;"});

    // The configuration-file message keeps its literal backslash-n; unknown codes get the generic text.
    for (int code : {-5, -7}) {
        h->disconnectH();
        HtraSim_InjectStatus(0, HTRASIM_DEVICE_OPEN, calls(HTRASIM_DEVICE_OPEN) + 1, 30, code);
        LogCapture::start();
        h->connectH(0);
        const QString text =
            code == -5 ? "Error - Configuration file missing\\n" : "return other error Status = %d\n";
        EXPECT_EQ(LogCapture::all(), (QStringList{text, QString::number(code)}));
    }
}

TEST_F(HarogicTest, FailedConfigurationClosesTheDeviceAndLeavesOnlyTheNativeRate) {
    HtraSim_InjectStatus(0, HTRASIM_CONFIGURATION, 1, 1, -9);
    auto h = connect();
    EXPECT_EQ(status, -9);
    EXPECT_FALSE(HtraSim_IsOpen(0));
    EXPECT_EQ(calls(HTRASIM_DEVICE_CLOSE), 1);
    EXPECT_EQ(calls(HTRASIM_GET_IQ_STREAM), 0);
    EXPECT_TRUE(LogCapture::all().contains("IQS_Configuration call error Status = %d\n-9"));
    const Params cur = h->getParams(CUR);
    EXPECT_EQ(cur.frequency, 0);
    EXPECT_EQ(cur.sampleRate, 1.2e8);
    EXPECT_EQ(cur.refLevel, 0);
    EXPECT_EQ(h->getErr()[0].code, -9);

    // Closed: configuration calls only record what they are given.
    h->setExtSyncState(true);
    h->setNumPoints(-5);
    EXPECT_TRUE(h->extSyncState);
    EXPECT_EQ(h->getNPts(CUR), 0);
    EXPECT_EQ(calls(HTRASIM_CONFIGURATION), 1);

    // Reconnecting reapplies what was recorded.
    h->reconnect();
    EXPECT_EQ(status, 0);
    HtraSimProfile applied{};
    ASSERT_EQ(HtraSim_GetProfile(0, &applied), 0);
    EXPECT_EQ(applied.extSyncOn, 1u);
    EXPECT_EQ(applied.points, 0u);
}

TEST_F(HarogicTest, ParamsReportLimitsAndWhatThePacketsSaid) {
    HtraSim_SetReportedLevelOffset(0, -0.7);
    params = {7e8, 1e7, -10};
    auto h = connect();
    EXPECT_EQ(h->getParams(MIN).sampleRate, 29297);
    EXPECT_EQ(h->getParams(MAX).refLevel, 20);
    for (suffix which : {CUR, static_cast<suffix>(7)}) {
        const Params cur = h->getParams(which);
        EXPECT_EQ(cur.frequency, 7e8);
        EXPECT_EQ(cur.sampleRate, 1.5e7);
        EXPECT_EQ(cur.refLevel, -10);  // -10.7 reported, truncated toward zero
    }
}

TEST_F(HarogicTest, ExternalSyncSettersReconfigureWithTheLastRequest) {
    auto h = connect();
    const int before = calls(HTRASIM_CONFIGURATION);
    h->setExtSyncFreq(5e6);
    h->setExtSyncState(true);
    EXPECT_EQ(calls(HTRASIM_CONFIGURATION) - before, 6);  // each: apply, priming count, restore count
    HtraSimProfile applied{};
    ASSERT_EQ(HtraSim_GetProfile(0, &applied), 0);
    EXPECT_EQ(applied.extSyncOn, 1u);
    EXPECT_EQ(applied.extSyncFrequency, 5e6);
    EXPECT_EQ(applied.points, 10000u);

    h->setNumPoints(2048);
    ASSERT_EQ(HtraSim_GetProfile(0, &applied), 0);
    EXPECT_EQ(applied.points, 2048u);
}

TEST_F(HarogicTest, DeviceStateIsCopiedOnlyWhenValid) {
    auto h = connect();
    DeviceState_TypeDef out;
    std::memset(&out, 0xAB, sizeof out);
    h->getState(&out);
    EXPECT_EQ(std::memcmp(&out, &h->deviceState, sizeof out), 0);
    EXPECT_NE(out.bytes[63], 0xAB);
    EXPECT_EQ(calls(HTRASIM_BUS_TRIGGER_STOP), 2);  // priming, then the state query

    std::memset(&out, 0xAB, sizeof out);
    HtraSim_InjectStatus(0, HTRASIM_QUERY_DEVICE_STATE, 2, 1, -14);
    h->getState(&out);
    EXPECT_EQ(out.bytes[0], 0xAB);
    EXPECT_EQ(calls(HTRASIM_BUS_TRIGGER_STOP), 2);
    EXPECT_TRUE(HtraSim_IsOpen(0));
    EXPECT_EQ(LogCapture::count(
                  "Warning - The temperature of the current device changes greatly. You are advised to "
                  "reconfigure the temperature\n"),
              1);

    HtraSim_InjectStatus(0, HTRASIM_QUERY_DEVICE_STATE, 3, 1, -7);
    h->getState(&out);
    EXPECT_FALSE(HtraSim_IsOpen(0));
    EXPECT_EQ(h->handle.load(), nullptr);
    EXPECT_EQ(status, 0);  // the state query keeps out of the status word
    EXPECT_TRUE(LogCapture::all().contains("other error Status = -7"));
}

}  // namespace
