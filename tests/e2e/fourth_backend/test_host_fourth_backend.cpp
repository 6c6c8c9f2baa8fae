// A backend that only the tests build (ToneBackend.cpp) joins the library as its own three do: discovery
// lists its device, the exported entry points drive it, and the trelvan program and the SoapySDR module,
// given its library, list it too.
#include <gtest/gtest.h>
#include <trelvan/Backend.h>
#include <trelvan/Trelvan.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <complex>

#include "ToneBackend.h"
#include "support/CliRunner.h"

namespace {

// For the programs: the backend's library, and nothing from VISA or the USB stand-in.
const QStringList kToneOnly{"LD_PRELOAD=" TONE_BACKEND_LIBRARY, "MIVISA_RESOURCES=", "TRELVAN_SIMULATED_USB=0"};

TEST(FourthBackend, IsListedConnectedConfiguredAndReadThroughTheEntryPoints) {
    EXPECT_EQ(backendNames().back(), tone::kBackend);
    const std::vector<DeviceData> list = getDevList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_STREQ(list[0].address, tone::kAddress);
    ASSERT_TRUE(setConnect(list[0]));
    EXPECT_EQ(getStatus(), 0);

    // 2.1 MHz is not one of its rates: 2 MHz comes, and the host is told.
    setParam(Params{1e9, 2.1e6, -10});
    setNumPts(1000);
    EXPECT_EQ(getCurSampleRate(), 2e6);
    ASSERT_EQ(getError().size(), 1);
    EXPECT_EQ(getError()[0].code, 101);
    QVector<IQ_Elem> block;
    getData(&block);
    ASSERT_EQ(block.size(), 1000);
    // 250 kHz above the centre at 2 MS/s: an eighth of a turn per sample, at sqrt(50 x 10 uW) volts.
    for (int k = 0; k < block.size(); ++k) {
        const std::complex<double> want = std::polar(std::sqrt(50 * 1e-5), 2 * M_PI * k / 8);
        ASSERT_NEAR(block[k].I, want.real(), 1e-9) << k;
        ASSERT_NEAR(block[k].Q, want.imag(), 1e-9) << k;
    }
    const InstrumentFacts facts = connectedFacts(trelvan);
    EXPECT_EQ(facts.backend + " " + facts.sampleUnit, std::string(tone::kBackend) + " volts");
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
    EXPECT_EQ(listed[0].toObject()["address"].toString(), tone::kAddress);
    EXPECT_EQ(listed[0].toObject()["model"].toString(), tone::kModel);
}

TEST(FourthBackend, TheSoapyModuleFindsItGivenTheBackendsLibrary) {
#ifndef SOAPY_MODULE_DIR
    GTEST_SKIP() << "the SoapySDR module is not built";
#else
    const support::CliResult r = support::runProgram(
        "SoapySDRUtil", {"--find=driver=trelvan"}, kToneOnly + QStringList{"SOAPY_SDR_PLUGIN_PATH=" SOAPY_MODULE_DIR});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    for (const QString& line : {QStringLiteral("address = ") + tone::kAddress, QStringLiteral("model = ") + tone::kModel,
                                QStringLiteral("backend = ") + tone::kBackend})
        EXPECT_TRUE(r.out.contains(line)) << line.toStdString() << " is missing from\n" << r.out.toStdString();
#endif
}

}  // namespace
