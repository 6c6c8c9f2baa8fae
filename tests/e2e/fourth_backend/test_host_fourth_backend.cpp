// A backend that only the tests build (ToneBackend.cpp) joins the library as its own three do: discovery
// lists its device, the exported entry points drive it, and the trelvan program and the SoapySDR module,
// given its library, list it too.
#include <gtest/gtest.h>
#include <trelvan/Backend.h>
#include <trelvan/Trelvan.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "support/CliRunner.h"
#include "support/ToneMeter.h"

namespace {

// For the programs: the backend's library, and nothing from VISA or the USB stand-in.
const QStringList kToneOnly{"LD_PRELOAD=" TONE_BACKEND_LIBRARY, "MIVISA_RESOURCES=", "TRELVAN_SIMULATED_USB=0"};

TEST(FourthBackend, IsListedConnectedConfiguredAndReadThroughTheEntryPoints) {
    EXPECT_EQ(backendNames().back(), "Tone");
    const std::vector<DeviceData> list = getDevList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(list[0].address, "TONE::0");
    ASSERT_TRUE(setConnect(list[0]));

    // 2.1 MHz is not one of its rates: 2 MHz comes, and the host is told.
    setParam(Params{1e9, 2.1e6, -10});
    setNumPts(1000);
    EXPECT_EQ(getCurSampleRate(), 2e6);
    ASSERT_EQ(getError().size(), 1);
    EXPECT_EQ(getError()[0].code, 101);
    QVector<IQ_Elem> block;
    getData(&block);
    ASSERT_EQ(block.size(), 1000);
    // Its tone, 250 kHz above the centre; -20 dBm across 50 Ohm is |x|^2 = 50 x 10 uW.
    const support::Tone found = support::strongestTone(block, 2e6, 1000);
    EXPECT_EQ(found.offsetHz, 250e3);
    EXPECT_NEAR(found.power, 50 * 1e-5, 1e-12);
    const InstrumentFacts facts = connectedFacts(trelvan);
    EXPECT_EQ(facts.backend + ", " + facts.sampleUnit, "Tone, volts");
    EXPECT_NEAR(facts.fullScale, std::sqrt(50 * std::pow(10.0, -3.7)), 1e-12);  // -7 dBm
    EXPECT_EQ(nearestRate(facts, 3.5e6).request, 4e6);

    setDisconnect();
    getData(&block);
    EXPECT_TRUE(block.isEmpty());
    EXPECT_EQ(getCurSampleRate(), 0.0);
}

TEST(FourthBackend, TheProgramListsItGivenTheBackendsLibrary) {
    const support::CliResult r = support::runCli({"list", "--json"}, kToneOnly);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonArray listed = QJsonDocument::fromJson(r.out.toUtf8()).array();
    ASSERT_EQ(listed.size(), 1) << r.out.toStdString();
    EXPECT_EQ(listed[0]["address"], "TONE::0");
    EXPECT_EQ(listed[0]["model"], "ToneGen-4");
}

TEST(FourthBackend, TheSoapyModuleFindsItGivenTheBackendsLibrary) {
#ifndef SOAPY_MODULE_DIR
    GTEST_SKIP() << "the SoapySDR module is not built";
#else
    const support::CliResult r = support::runProgram(
        "SoapySDRUtil", {"--find=driver=trelvan"}, kToneOnly + QStringList{"SOAPY_SDR_PLUGIN_PATH=" SOAPY_MODULE_DIR});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    for (const char* line : {"address = TONE::0", "model = ToneGen-4", "backend = Tone"})
        EXPECT_TRUE(r.out.contains(line)) << line << " is missing from\n" << r.out.toStdString();
#endif
}

}  // namespace
