// SK over our VISA library against the emulated instrument: tones that the instrument shapes with a
// response of its own come out, after the library's correction, where they are and equally strong across
// the band. (The limits learned from what the instrument clamps are the session unit test's.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "SkServer.h"
#include "backends/sk/Sk.h"
#include "support/Records.h"
#include "support/ToneMeter.h"

namespace {

TEST(SkOverVisa, TonesComeOutWhereTheyAreAndFlatAcrossTheBand) {
    sim::sk::Settings settings;
    settings.tiltDb = 8;
    settings.noiseDbm = -400;
    sim::sk::Server server(settings);
    ASSERT_TRUE(server.start("127.0.0.1", 0)) << server.error();
    support::Records r;
    std::snprintf(r.device.address, sizeof r.device.address, "TCPIP::127.0.0.1::%u::SOCKET", server.port());
    ASSERT_EQ(r.visa.Initialize("MiVISA64"), 0) << "libMiVISA64 not found";
    ASSERT_EQ(r.visa.viOpenDefaultRM(&r.resourceManager), VI_SUCCESS);
    ASSERT_EQ(r.visa.viOpen(r.resourceManager, r.device.address, VI_EXCLUSIVE_LOCK, 5000, &r.session),
              VI_SUCCESS);
    SK sk(r.init(), SkSettleTimes{0, 0});
    Params p{2.4e9, 4.5e6, 0};
    sk.setParams(p);
    sk.setNumPoints(2048);

    double lowest = 1e300, highest = 0, rawLowest = 1e300, rawHighest = -1e300;
    QVector<IQ_Elem> out;
    for (double f : {-1.1e6, -0.45e6, 0.2e6, 0.8e6, 1.2e6}) {  // one at a time
        settings.tones = {{f, -20}};
        server.setSettings(settings);
        sk.getData(&out);
        ASSERT_EQ(r.status, VI_SUCCESS);
        ASSERT_EQ(out.size(), 2048);
        const support::Tone tone = support::strongestTone(out, sk.getCurSampleRate());
        EXPECT_NEAR(tone.offsetHz, f, sk.getCurSampleRate() / 2048 / 2);
        double power = 0;  // the tone alone, without noise
        for (const IQ_Elem& e : out) power += e.I * e.I + e.Q * e.Q;
        lowest = std::min(lowest, power);
        highest = std::max(highest, power);
        rawLowest = std::min(rawLowest, server.responseDb(2.4e9 + f));
        rawHighest = std::max(rawHighest, server.responseDb(2.4e9 + f));
    }
    EXPECT_GT(rawHighest - rawLowest, 4.0);  // the instrument tilts them by several dB
    EXPECT_LT(10 * std::log10(highest / lowest), 0.1);
}

}  // namespace
