// The emulated N9030A over a real socket: connections, the log and the wire faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "PxaEmulator.h"
#include "RawClient.h"

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

class EmulatorSocket : public ::testing::Test {
protected:
    sim::PxaEmulator emulator;
    void SetUp() override { ASSERT_TRUE(emulator.start("127.0.0.1", 0)); }
    std::unique_ptr<RawClient> client() {
        auto c = std::make_unique<RawClient>("127.0.0.1", emulator.port());
        EXPECT_TRUE(c->connected());
        return c;
    }
    static constexpr const char* kCapture = ":CALC:VECT:DATA2:RAW?\n";
    // 1000 points of REAL data: "#48000", 8000 bytes, the line end.
    static constexpr std::size_t kBlockSize = 6 + 8000 + 1;
};

}  // namespace

TEST_F(EmulatorSocket, ServesSeveralClientsAtOnceAndLogsWhatEachSent) {
    EXPECT_NE(emulator.port(), 0);
    EXPECT_EQ(emulator.resource(), "TCPIP0::127.0.0.1::" + std::to_string(emulator.port()) + "::SOCKET");
    auto a = client();
    auto b = client();
    b->send(":INSTrument:COUPle:DEFault  \n");
    EXPECT_EQ(a->ask("*IDN?"), "Keysight Technologies,N9030A,SIM0001,A.01.00\n");
    EXPECT_EQ(b->ask("*OPC?"), "1\n");
    // A message may come in pieces and with a carriage return.
    a->send(":FREQ:");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    a->send("SPAN?\r\n");
    EXPECT_EQ(a->line(), "7812500\n");
    EXPECT_EQ(emulator.connectionsAccepted(), 2);
    const auto log = emulator.log();
    ASSERT_EQ(log.size(), 4u);
    // The blanks are part of what was received.
    EXPECT_NE(std::find(log.begin(), log.end(), ":INSTrument:COUPle:DEFault  "), log.end());
    EXPECT_EQ(log.back(), ":FREQ:SPAN?");
    emulator.clearLog();
    EXPECT_TRUE(emulator.log().empty());
}

TEST_F(EmulatorSocket, StallsHitTheCaptureBlockAndOthersOnlyWhenAsked) {
    auto c = client();
    c->send(":FORM REAL\n");
    sim::PxaFaults f;
    f.stallBeforeMs = 300;
    emulator.setFaults(f);
    Clock::time_point t = Clock::now();
    EXPECT_EQ(c->ask("*OPC?"), "1\n");
    EXPECT_LT(msSince(t), 250);  // not a block: no stall
    t = Clock::now();
    c->send(kCapture);
    EXPECT_EQ(c->bytes(kBlockSize).size(), kBlockSize);
    EXPECT_GE(msSince(t), 250);

    f = sim::PxaFaults{};
    f.stallAfterBytes = 100;
    f.stallInsideMs = 400;
    f.everyReply = true;
    emulator.setFaults(f);
    c->send(kCapture);
    EXPECT_EQ(c->bytes(100).size(), 100u);
    t = Clock::now();
    EXPECT_EQ(c->bytes(kBlockSize - 100).size(), kBlockSize - 100);
    EXPECT_GE(msSince(t), 300);
}

TEST_F(EmulatorSocket, StopEndsAConnectionThatIsStalledMidReply) {
    auto c = client();
    sim::PxaFaults f;
    f.stallAfterBytes = 10;
    f.stallInsideMs = 60000;
    emulator.setFaults(f);
    c->send(kCapture);
    EXPECT_EQ(c->bytes(10).size(), 10u);
    const Clock::time_point t = Clock::now();
    emulator.stop();
    EXPECT_LT(msSince(t), 5000);
    EXPECT_TRUE(c->closedByPeer());
    emulator.stop();  // twice is harmless
}
