// A backend that only the tests build (ToneBackend.cpp) joins the library as its own three do: discovery
// lists its device and the exported entry points drive it. (CMakeLists.txt has the trelvan program and
// the SoapySDR module list it.)
#include <gtest/gtest.h>
#include <trelvan/Backend.h>
#include <trelvan/Trelvan.h>

#include "support/ToneMeter.h"

namespace {

TEST(FourthBackend, IsListedConnectedConfiguredAndReadThroughTheEntryPoints) {
    EXPECT_EQ(backendNames().back(), "Tone");
    const std::vector<DeviceData> list = getDevList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(list[0].address, "TONE::0");
    ASSERT_TRUE(setConnect(list[0]));

    // 5 MHz is beyond its limits: 4 MHz comes, and the host is told.
    setParam(Params{1e9, 5e6, -10});
    setNumPts(2000);
    EXPECT_EQ(getCurSampleRate(), 4e6);
    EXPECT_EQ(getError().value(0).code, 101);
    QVector<IQ_Elem> block;
    getData(&block);
    ASSERT_EQ(block.size(), 2000);
    // Its tone, 250 kHz above the centre; -20 dBm across 50 Ohm is |x|^2 = 50 x 10 uW.
    const support::Tone found = support::strongestTone(block, 4e6, 2000);
    EXPECT_EQ(found.offsetHz, 250e3);
    EXPECT_NEAR(found.power, 50 * 1e-5, 1e-12);
    const InstrumentFacts facts = connectedFacts(trelvan);
    EXPECT_EQ(facts.backend + ", " + facts.sampleUnit, "Tone, volts");
    EXPECT_EQ(nearestRate(facts, 9e6).request, 4e6);

    setDisconnect();
    getData(&block);
    EXPECT_TRUE(block.isEmpty());
}

}  // namespace
