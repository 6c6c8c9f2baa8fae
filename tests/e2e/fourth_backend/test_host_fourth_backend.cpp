// A backend that only the tests build (ToneBackend.cpp) joins the library as its own three do: discovery
// lists its device, the exported entry points drive it, and the trelvan program and the SoapySDR module,
// given its library, list it too.
#include <gtest/gtest.h>
#include <trelvan/Backend.h>
#include <trelvan/Trelvan.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <complex>

#include "ToneBackend.h"
#include "support/CliRunner.h"

namespace {

// For the programs: the backend's library, and nothing from VISA or the USB stand-in.
const QStringList kToneOnly{"LD_PRELOAD=" TONE_BACKEND_LIBRARY, "MIVISA_RESOURCES=", "TRELVAN_SIMULATED_USB=0"};

// Amplitude in volts of a complex tone of `dbm` across 50 Ohm.
double volts(double dbm) {
    return std::sqrt(50 * std::pow(10.0, (dbm - 30) / 10));
}

TEST(FourthBackend, IsListedConnectedConfiguredAndReadThroughTheEntryPoints) {
    EXPECT_EQ(backendNames().back(), tone::kBackend);
    const std::vector<DeviceData> list = getDevList();
    const auto listed = std::find_if(list.begin(), list.end(), [](const DeviceData& d) {
        return std::string(d.address) == tone::kAddress;
    });
    ASSERT_NE(listed, list.end());
    EXPECT_EQ(listed->model, tone::kModel);
    EXPECT_EQ(instrumentFacts(*listed).backend, tone::kBackend);
    ASSERT_TRUE(setConnect(*listed));
    EXPECT_EQ(getStatus(), 0);

    // 2.1 MHz is not one of its rates: 2 MHz comes, and the host is told.
    setParam(Params{1e9, 2.1e6, -10});
    setNumPts(1000);
    EXPECT_EQ(getCurSampleRate(), 2e6);
    const QVector<Error> errors = getError();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0].code, 101);
    QVector<IQ_Elem> block;
    getData(&block);
    ASSERT_EQ(block.size(), 1000);
    // The tone lies 250 kHz above the centre: at 2 MS/s, an eighth of a turn per sample.
    for (int k = 0; k < block.size(); ++k) {
        const std::complex<double> want = std::polar(volts(tone::kToneDbm), 2 * M_PI * k / 8);
        ASSERT_NEAR(block[k].I, want.real(), 1e-9) << k;
        ASSERT_NEAR(block[k].Q, want.imag(), 1e-9) << k;
    }
    const InstrumentFacts facts = connectedFacts(trelvan);
    EXPECT_EQ(facts.sampleUnit, "volts");
    EXPECT_NEAR(facts.fullScale, volts(-7), 1e-12);
    EXPECT_EQ(nearestRate(facts, 3.5e6).request, 4e6);
    EXPECT_EQ(facts.maxPoints, tone::kMaxPoints);

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
