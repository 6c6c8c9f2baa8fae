// The SK emulator under the pipelining the library does: a backlog of requests that it keeps reading,
// and can be stopped in, while its replies pile up unread. What it answers is checked through the
// library, in the SK-over-VISA test and the fault matrix.
#include <gtest/gtest.h>

#include "SkServer.h"
#include "support/Client.h"
#include "support/SkWire.h"

namespace {

using namespace support::sk;

Message receive(support::Client& c) {
    Bytes b = c.bytes(16);
    if (b.size() == 16) b += c.bytes(std::size_t(getInt(b, 6, 2, false)));
    Message m;
    EXPECT_TRUE(take(b, &m)) << "no whole reply";
    return m;
}

TEST(SkSim, ReadsPipelinedRequestsWhileItsRepliesBackUpAndStopsWithThemUnread) {
    sim::sk::Server server;
    ASSERT_TRUE(server.start("127.0.0.1", 0)) << server.error();
    support::Client c("127.0.0.1", server.port());
    constexpr int kPairs = 500;  // about 33 MB of replies, far beyond what socket buffers hold
    Bytes burst;
    for (int i = 0; i < kPairs; ++i)
        burst += parameter(3, 50, 0x40, {8188.0 * i, 8188, 1, 8188.0 * kPairs}, -32768, 2 * i + 1) +
                 message(6, -32768, 0, 0, "", 2 * i + 2);
    ASSERT_TRUE(c.send(burst));
    ASSERT_TRUE(server.waitForRequests(2 * kPairs, 30000));  // all of them in before we read a byte
    for (int i = 0; i < kPairs / 2; ++i) {
        const Message clk = receive(c), run = receive(c);
        ASSERT_EQ(clk.sequence, uint32_t(2 * i + 1));
        ASSERT_EQ(clk.values[0], 8188.0 * i);
        ASSERT_EQ(run.sequence, uint32_t(2 * i + 2));
        ASSERT_EQ(run.body.size(), 8188u * 8 + 2);
    }
    server.stop();  // its writer is stuck on a full socket; stop must still get it out
    while (!c.bytes(1 << 20).empty()) {
    }
    EXPECT_TRUE(c.closedByPeer());
}

}  // namespace
