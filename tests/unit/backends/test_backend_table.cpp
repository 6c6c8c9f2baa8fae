// The backend table over the rows the library registers: which backend drives a listed record, what one
// of its samples is and its full scale, and which VISA resources discovery keeps (the facade's discovery
// test states how it applies this to what a VISA search finds).
#include <gtest/gtest.h>
#include <trelvan/Backend.h>

#include <cmath>
#include <cstring>
#include <map>

#include "backends/BackendTable.h"

namespace {

// Amplitude in volts of a complex tone of `dbm` across 50 Ohm, its power being |x|^2 / 50.
double volts(double dbm) {
    return std::sqrt(50 * std::pow(10.0, (dbm - 30) / 10));
}

TEST(BackendTable, RoutesRecordsAndResourcesAndGivesEachBackendsUnitAndFullScale) {
    // Full scale is 3 dB above the reference level: in volts (PXA), in volts times the Harogic gain of
    // 13.3279 dB, or, for SK, in corrected counts whatever the level.
    const std::map<std::string, std::pair<std::string, double (*)(int)>> facts = {
        {"PXA", {"volts", [](int ref) { return volts(ref + 3); }}},
        {"SK", {"corrected counts", [](int) { return 2147483648.0 * 0.4263694993781802; }}},
        {"Harogic", {"scaled volts", [](int ref) { return volts(ref + 3) * std::pow(10.0, 13.3279 / 20); }}}};
    const char* const cases[][3] = {
        {"TCPIP0::10.0.0.1::5025::SOCKET", "n9030a", "PXA"},
        {"TCPIP::10.0.0.2::8888::SOCKET", "K4-E1", "SK"},
        {"TCPIP::10.0.0.3::8888::SOCKET", "К4-Э1", "SK"},
        {"TCPIP::K4-LAB::8888::SOCKET", "", "SK"},
        {"TCPIP::k4.lab::8888::SOCKET", "", "SK"},
        {"TCPIP::k4.lab::8888::SOCKET", "N9030A", "PXA"},
        {"USB::0", "E90-R0", "Harogic"},
        {"TCPIP0::10.0.0.5::5025::SOCKET", "N9020B", "Harogic"},
    };
    // A record goes by its model, then by its address, and otherwise to the row that takes the rest.
    int refLevel = -30;
    for (const auto& [address, model, backend] : cases) {
        DeviceData d;
        std::strncpy(d.address, address, sizeof d.address - 1);
        d.model = model;
        const BackendRow* row = trv::backends::forDevice(d);
        EXPECT_STREQ(row != nullptr ? row->name : "none", backend) << address << " " << model;
        const InstrumentFacts got = instrumentFacts(d, refLevel += 5);
        EXPECT_EQ(got.sampleUnit, facts.at(backend).first) << model;
        EXPECT_NEAR(got.fullScale / facts.at(backend).second(refLevel), 1, 1e-12) << model;
    }

    // Discovery keeps the resources of known makers that a VISA row takes.
    const auto resource = [](const char* model, const char* raw, bool known) {
        const BackendRow* row = trv::backends::forResource(model, QString::fromLatin1(raw), known);
        return std::string(row != nullptr ? row->name : "none");
    };
    EXPECT_EQ(resource("?", "k4-e1", true), "SK");  // the text as read, when the conversion lost it
    EXPECT_EQ(resource("", "", false), "SK");       // no model to read
    const std::pair<const char*, bool> makers[] = {
        {"Agilent Technologies", true}, {"KEYSIGHT", true}, {"reruro", true}, {"Acme", false}, {"", false}};
    for (const auto& [maker, known] : makers)
        EXPECT_EQ(trv::backends::knownMaker(QString::fromUtf8(maker)), known) << maker;
}

}  // namespace
