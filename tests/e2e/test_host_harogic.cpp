// A host's calls against USB devices behind a device library written apart from ours
// (htra_test_library.c): discovery, captures at the rate the library derives, and a library whose records
// outgrow the room we give them. (Each failure status of the device library is a row of the fault matrix.)
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <trelvan/Trelvan.h>

#include <cstdlib>

#include "support/LogCapture.h"
#include "support/ToneMeter.h"

namespace {

// In device-number order (discovery puts the last one found first).
std::vector<DeviceData> usbDevices() {
    std::vector<DeviceData> usb;
    for (const DeviceData& d : getDevList())
        if (std::string(d.address).rfind("USB::", 0) == 0) usb.insert(usb.begin(), d);
    return usb;
}

TEST(HostHarogic, DiscoversAndCapturesAndRefusesRecordsThatOutgrowTheirRoom) {
    if (dlsym(RTLD_DEFAULT, "HtraTest_Present") == nullptr)
        GTEST_SKIP() << "the htra_api in use is not the test library built from tests/e2e/htra_test_library.c, "
                        "so it cannot be told which devices to show";
    support::LogCapture log;

    const std::vector<DeviceData> usb = usbDevices();
    ASSERT_EQ(usb.size(), 3u);
    const char* models[] = {"E90-R0", "N400_R2", "Undefined type"};
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(std::string(usb[n].address), "USB::" + std::to_string(n));
        EXPECT_EQ(usb[n].model, models[n]);
        EXPECT_EQ(usb[n].serial, std::to_string(7000 + n));
    }

    // 10 MHz asked for: decimation 8 of 120 MHz gives 15 MHz, and the tone 1 MHz above the centre.
    ASSERT_TRUE(setConnect(usb[0]));
    setParam(Params{1e9, 10e6, -20});
    setNumPts(10000);
    QVector<IQ_Elem> block;
    getData(&block);
    ASSERT_EQ(block.size(), 10000);
    EXPECT_EQ(getCurSampleRate(), 15e6);
    EXPECT_NEAR(support::strongestTone(block, 15e6).offsetHz, 1e6, 2 * 15e6 / 2048);

    setDisconnect();

    // Records written past the room we give them: nothing listed or captured, one report per record.
    log.clear();
    ASSERT_TRUE(setConnect(usb[1]));
    setenv("HTRA_TEST_RECORD_BYTES", "10000", 1);
    getData(&block);
    EXPECT_TRUE(block.isEmpty());
    EXPECT_EQ(getStatus(), -1000);
    setDisconnect();
    EXPECT_TRUE(usbDevices().empty());
    EXPECT_TRUE(usbDevices().empty());
    unsetenv("HTRA_TEST_RECORD_BYTES");
    EXPECT_EQ(log.lines().filter("wrote past").size(), 2) << log.lines().join('\n').toStdString();
    EXPECT_EQ(usbDevices().size(), 3u);
}

}  // namespace
