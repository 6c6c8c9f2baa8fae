// A host's usual calling order against an emulated N9030A, an emulated SK instrument and a simulated
// Harogic USB device at once: discover, connect, configure, acquire, read errors and status, disconnect.
#include <gtest/gtest.h>
#include <trelvan/Trelvan.h>

#include <cmath>

#include "HostHarness.h"

namespace {

// Entries the filters must drop (wrong vendor, wrong model, nobody listening) and one busy instrument.
// Each names its own listener, since the resource list keeps one entry per host and port.
const char* kOtherEntries =
    "TCPIP::127.0.0.62::8890::SOCKET|manufacturer=Acme|model=K4-X|serial=9;"
    "tcpip0::127.0.0.61::5026::socket|manufacturer=Keysight|model=N9020B|serial=7;"
    "TCPIP0::127.0.0.69::5025::SOCKET|manufacturer=Keysight|model=N9030A|serial=nobody;"
    "TCPIP0::127.0.0.62::8889::SOCKET|manufacturer=Reruro|model=К4-Э2|serial=2000|busy=1";

struct Capture {
    int blocks = 0;
    int points = 0;
    double rate = 0;
    double toneHz = NAN;
};

// Configures, acquires a few blocks and locates the tone in each.
Capture acquire(Params p, int points, int blocks) {
    setParam(p);
    setNumPts(points);
    Capture c;
    c.rate = getCurSampleRate();
    QVector<IQ_Elem> block;
    for (int b = 0; b < blocks; ++b) {
        getData(&block);
        if (block.isEmpty()) break;
        ++c.blocks;
        c.points = block.size();
        c.toneHz = host::strongestOffsetHz(block, c.rate);
    }
    return c;
}

TEST(HostEndToEnd, DiscoversConnectsConfiguresAndAcquiresFromAllThreeInstruments) {
    host::Bench bench("127.0.0.61", "127.0.0.62", kOtherEntries);
    ASSERT_TRUE(bench.pxa->running());
    ASSERT_TRUE(bench.sk->running());
    host::Emulator busySk(SIM_SK_PROGRAM, "127.0.0.62:8889"), foreignSk(SIM_SK_PROGRAM, "127.0.0.62:8890");
    host::Emulator otherModel(SIM_PXA_PROGRAM, "127.0.0.61:5026");
    ASSERT_TRUE(busySk.running() && foreignSk.running() && otherModel.running());

    const std::vector<DeviceData> list = getDevList();
    EXPECT_EQ(getStatus(), 1);
    ASSERT_EQ(list.size(), 4u);
    // Free instruments first, the last one found in front; the busy one last.
    EXPECT_EQ(std::string(list[0].address), bench.skAddress());
    EXPECT_EQ(list[0].model, "К4-Э1");
    EXPECT_EQ(list[0].serial, "1042");
    EXPECT_EQ(std::string(list[1].address), bench.pxaAddress());
    EXPECT_EQ(list[1].model, "N9030A");
    EXPECT_FALSE(list[1].serial.empty());
    EXPECT_EQ(std::string(list[2].address), "USB::0");
    EXPECT_EQ(list[2].model, "E90-R0");
    EXPECT_TRUE(list[3].busy);
    EXPECT_EQ(list[3].serial, "2000");
    EXPECT_FALSE(setConnect(list[3]));

    // N9030A: the tone sits 1 MHz above the centre.
    ASSERT_TRUE(setConnect(list[1]));
    EXPECT_EQ(getStatus(), 0);
    Capture pxa = acquire(Params{1.5e9, 10e6, 0}, 4096, 3);
    EXPECT_EQ(pxa.blocks, 3);
    EXPECT_EQ(pxa.rate, 10e6);
    EXPECT_EQ(getNumPTS(CUR), pxa.points);
    EXPECT_NEAR(pxa.toneHz, 1e6, 2 * pxa.rate / 2048);
    const Params cur = getParameters(CUR);
    EXPECT_EQ(cur.frequency, 1.5e9);
    QVector<Error> errors = getError();
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_EQ(errors.last().code, 0);
    EXPECT_EQ(CustomCommand("*IDN?\n", true).rfind("Keysight Technologies,N9030A,", 0), 0u);
    setDisconnect();
    EXPECT_EQ(getStatus(), 1);

    // SK: the tone sits 100 kHz above the centre.
    ASSERT_TRUE(setConnect(list[0]));
    Capture sk = acquire(Params{2.4e9, 1.5e6, -10}, 4096, 3);
    EXPECT_EQ(sk.blocks, 3);
    EXPECT_EQ(sk.points, 4096);
    EXPECT_NEAR(sk.toneHz, 100e3, 2 * sk.rate / 2048);
    EXPECT_TRUE(getError().isEmpty());
    EXPECT_EQ(CustomCommand("*IDN?\n", true), "");
    setDisconnect();
    EXPECT_EQ(getStatus(), 1);

    // Harogic: the tone sits 1 MHz above the centre at whatever rate the device delivers.
    ASSERT_TRUE(setConnect(list[2]));
    EXPECT_EQ(getStatus(), 0);
    Capture usb = acquire(Params{1e9, 10e6, -20}, 10000, 3);
    EXPECT_EQ(usb.blocks, 3);
    EXPECT_EQ(usb.points, 10000);
    EXPECT_GT(usb.rate, 0);
    EXPECT_NEAR(usb.toneHz, 1e6, 2 * usb.rate / 2048);
    setDisconnect();

    // After disconnecting, acquisitions come back empty and nothing hangs.
    QVector<IQ_Elem> block;
    getData(&block);
    EXPECT_TRUE(block.isEmpty());
}

}  // namespace
