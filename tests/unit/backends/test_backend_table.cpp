// The backend table over the rows the library registers: which backend drives a listed record, which
// VISA resources discovery keeps, and the facts a listed record's backend gives.
#include <gtest/gtest.h>
#include <trelvan/Backend.h>

#include <cmath>
#include <cstring>
#include <tuple>

#include "backends/BackendTable.h"

namespace {

DeviceData record(const char* address, const char* model) {
    DeviceData d;
    std::strncpy(d.address, address, sizeof d.address - 1);
    d.model = model;
    return d;
}

// Amplitude in volts of a complex tone of `dbm` across 50 Ohm, its power being |x|^2 / 50.
double volts(double dbm) {
    return std::sqrt(50 * std::pow(10.0, (dbm - 30) / 10));
}

TEST(BackendTable, ARecordGoesByItsModelThenByItsAddressAndOtherwiseToTheRest) {
    const char* const cases[][3] = {
        {"TCPIP0::10.0.0.1::5025::SOCKET", "n9030a", "PXA"},
        {"TCPIP::10.0.0.2::8888::SOCKET", "K4-E1", "SK"},
        {"TCPIP::10.0.0.3::8888::SOCKET", "К4-Э1", "SK"},
        {"TCPIP::10.0.0.4::8888::SOCKET", "к4-э1", "SK"},
        {"TCPIP::K4-LAB::8888::SOCKET", "", "SK"},
        {"TCPIP::k4.lab::8888::SOCKET", "", "SK"},
        {"TCPIP::k4.lab::8888::SOCKET", "N9030A", "PXA"},
        {"USB::0", "E90-R0", "Harogic"},
        {"TCPIP0::10.0.0.5::5025::SOCKET", "N9020B", "Harogic"},
    };
    for (const auto& [address, model, backend] : cases) {
        const BackendRow* row = trv::backends::forDevice(record(address, model));
        ASSERT_NE(row, nullptr);
        EXPECT_STREQ(row->name, backend) << address << " " << model;
    }
}

TEST(BackendTable, DiscoveryKeepsTheResourcesOfKnownMakersThatAVisaRowTakes) {
    const auto resource = [](const char* model, const char* raw, bool known) {
        const BackendRow* row = trv::backends::forResource(QString::fromUtf8(model), QString::fromLatin1(raw), known);
        return std::string(row != nullptr ? row->name : "none");
    };
    EXPECT_EQ(resource("n9030a", "n9030a", true), "PXA");
    EXPECT_EQ(resource("К4-Э1", "\xCA\x34-\xDD\x31", true), "SK");
    EXPECT_EQ(resource("?", "k4-e1", true), "SK");  // the text as read, when the conversion lost it
    EXPECT_EQ(resource("", "", false), "SK");        // no model to read
    EXPECT_EQ(resource("N9020B", "N9020B", true), "none");
    EXPECT_EQ(resource("E90-R0", "E90-R0", true), "none");
    for (const char* maker : {"Agilent Technologies", "KEYSIGHT", "reruro"})
        EXPECT_TRUE(trv::backends::knownMaker(QString::fromUtf8(maker))) << maker;
    for (const char* maker : {"Acme", "Rohde & Schwarz", ""})
        EXPECT_FALSE(trv::backends::knownMaker(QString::fromUtf8(maker))) << maker;
}

TEST(BackendTable, AListedRecordsUnitAndFullScaleComeFromItsBackend) {
    const double sk = 2147483648.0 * 0.4263694993781802;
    const std::tuple<const char*, const char*, int, const char*, double> cases[] = {
        {"TCPIP0::10.0.0.1::5025::SOCKET", "N9030A", -10, "volts", volts(-7)},
        {"TCPIP::10.0.0.2::8888::SOCKET", "K4-E1", -10, "corrected counts", sk},
        {"TCPIP::10.0.0.2::8888::SOCKET", "K4-E1", 15, "corrected counts", sk},
        {"USB::0", "E90-R0", 5, "scaled volts", volts(8) * std::pow(10.0, 13.3279 / 20)}};
    for (const auto& [address, model, refLevel, unit, fullScale] : cases) {
        const InstrumentFacts facts = instrumentFacts(record(address, model), refLevel);
        EXPECT_EQ(facts.sampleUnit, unit) << model;
        EXPECT_NEAR(facts.fullScale / fullScale, 1, 1e-12) << model << " at " << refLevel << " dBm";
    }
}

}  // namespace
