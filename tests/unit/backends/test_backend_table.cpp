// The backend table over the rows the library registers, as programs see it through the facts: which
// backend drives a listed record, what one of its samples is and its full scale. (The facade's discovery
// test states which makers and models a VISA search keeps.)
#include <gtest/gtest.h>
#include <trelvan/Backend.h>

#include <cmath>
#include <cstring>
#include <map>

namespace {

// Amplitude in volts of a complex tone of `dbm` across 50 Ohm, its power being |x|^2 / 50.
double volts(double dbm) {
    return std::sqrt(50 * std::pow(10.0, (dbm - 30) / 10));
}

TEST(BackendTable, RoutesRecordsAndGivesEachBackendsUnitAndFullScale) {
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
        const InstrumentFacts got = instrumentFacts(d, refLevel += 5);
        EXPECT_EQ(got.backend, backend) << address << " " << model;
        EXPECT_EQ(got.sampleUnit, facts.at(backend).first) << model;
        EXPECT_NEAR(got.fullScale / facts.at(backend).second(refLevel), 1, 1e-12) << model;
    }

}

}  // namespace
