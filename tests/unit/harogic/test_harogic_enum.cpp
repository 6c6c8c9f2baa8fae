#include "HarogicFixture.h"

namespace {

QVector<DeviceData> stale() {
    QVector<DeviceData> list(2);
    std::strcpy(list[0].address, "old");
    return list;
}

TEST_F(HarogicTest, NoDeviceGivesAnEmptyListAfterOneProbe) {
    HtraSim_SetDeviceCount(0);
    Harogic h;
    QVector<DeviceData> list = stale();
    h.getDevList(&list);
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(calls(HTRASIM_DEVICE_OPEN), 1);
    EXPECT_EQ(h.lastStatus, -1);
}

TEST_F(HarogicTest, TwoDevicesAreListedInOrderEachOpenedAndClosedOnce) {
    HtraSim_SetDeviceCount(2);
    HtraSim_SetDeviceInfo(0, 18446744073709551615ull, 94);
    HtraSim_SetDeviceInfo(1, 42, 42);
    Harogic h;
    QVector<DeviceData> list = stale();
    h.getDevList(&list);
    ASSERT_EQ(list.size(), 2);
    EXPECT_STREQ(list[0].address, "USB::0");
    EXPECT_EQ(list[0].model, "N400_R2");
    EXPECT_EQ(list[0].serial, "18446744073709551615");
    EXPECT_STREQ(list[1].address, "USB::1");
    EXPECT_EQ(list[1].model, "Undefined type");
    EXPECT_EQ(list[1].serial, "42");
    EXPECT_FALSE(list[0].busy || list[1].busy);
    for (int device : {0, 1}) {
        EXPECT_EQ(calls(HTRASIM_DEVICE_OPEN, device), 1);
        EXPECT_EQ(calls(HTRASIM_DEVICE_CLOSE, device), 1);
        EXPECT_FALSE(HtraSim_IsOpen(device));
    }
    EXPECT_EQ(calls(HTRASIM_DEVICE_OPEN, 2), 1);
    EXPECT_EQ(LogCapture::all(), (QStringList{"94", "42"}));
    EXPECT_EQ(h.handle.load(), nullptr);
}

TEST_F(HarogicTest, SimulatedDevicesAppearOnlyAsManyAsAskedFor) {
    const std::pair<const char*, int> requests[] = {
        {nullptr, 0}, {"", 0}, {"0", 0}, {"1", 1}, {"8", 8}, {"9", 0}, {"12", 0}, {"2x", 0}, {"-1", 0}};
    for (const auto& [request, expected] : requests) {
        SCOPED_TRACE(request ? request : "(unset)");
        request ? setenv("TRELVAN_SIMULATED_USB", request, 1) : unsetenv("TRELVAN_SIMULATED_USB");
        HtraSim_Reset();
        QVector<DeviceData> list;
        Harogic().getDevList(&list);
        EXPECT_EQ(list.size(), expected);
        EXPECT_EQ(HtraSim_IsSimulated(expected - 1), expected > 0);
        EXPECT_FALSE(HtraSim_IsSimulated(expected));
    }
    setenv("TRELVAN_SIMULATED_USB", "1", 1);
}

TEST_F(HarogicTest, FailedInformationQueryListsThatDeviceAndEndsTheScan) {
    HtraSim_SetDeviceCount(2);
    HtraSim_InjectStatus(0, HTRASIM_QUERY_DEVICE_INFO, 1, 1, -7);
    Harogic h;
    QVector<DeviceData> list;
    h.getDevList(&list);
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].model, "Undefined type");
    EXPECT_EQ(list[0].serial, "0");
    EXPECT_EQ(calls(HTRASIM_DEVICE_OPEN, 1), 0);
    EXPECT_FALSE(HtraSim_IsOpen(0));
}

}  // namespace
