// The backend's capture and the facade's binary and ASCII captures each state the format and byte order
// they read, so whichever ran before, every one of them finds the emulated N9030A's tone where it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "PxaEmulator.h"
#include "facade/Trelvan.h"
#include "support/LogCapture.h"
#include "support/QuickTimeouts.h"
#include "support/ToneMeter.h"

namespace {

constexpr double kOffsetHz = 244140.625;  // bin 100 of 4096 at 1e7 samples/s

QVector<IQ_Elem> capture(Trelvan& t, int path) {
    QVector<IQ_Elem> iq;
    if (path == 0) {
        t.getData(&iq);
        return iq;
    }
    for (const auto& v : path == 1 ? t.getData(0.0) : t.getData(0)) iq.append(IQ_Elem{v.real(), v.imag()});
    return iq;
}

}  // namespace

TEST(PxaCapturePaths, EveryPathFindsTheToneWhateverRanBefore) {
    support::LogCapture log;
    sim::PxaEmulator emulator;
    ASSERT_TRUE(emulator.start("127.0.0.1", 0));
    emulator.setTone(kOffsetHz, -30);
    emulator.setNoiseDbm(-100);
    Trelvan t;
    support::useQuickTimeouts(t.visa);
    t.status = 1;
    DeviceData device;
    emulator.resource().copy(device.address, sizeof device.address - 1);
    device.model = "N9030A";
    ASSERT_TRUE(t.setConnect(device));
    t.setNumPts(4096);
    const char* const names[] = {"backend", "binary", "ASCII"};
    int order[] = {0, 1, 2};
    do {
        for (int path : order) {
            SCOPED_TRACE(names[path]);
            const QVector<IQ_Elem> iq = capture(t, path);
            ASSERT_EQ(iq.size(), 4096);
            const support::Tone tone = support::strongestTone(iq, 1e7);
            EXPECT_DOUBLE_EQ(tone.offsetHz, kOffsetHz);
            EXPECT_NEAR(10 * std::log10(tone.power / 0.05), -30, 0.5);
        }
    } while (std::next_permutation(order, order + 3));
    EXPECT_EQ(t.getStatus(), VI_SUCCESS);
    EXPECT_EQ(emulator.connectionsAccepted(), 1);  // no read timed out and re-opened
    t.setDisconnect();
    // The library's facade keeps its last backend until unload; this one goes with the test.
    delete t.backend;
    t.backend = nullptr;
}
