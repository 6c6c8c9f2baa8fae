// The SK emulator as any socket client sees it: its answers to each kind of request, the stream kept in
// step after what it cannot use, and a backlog of pipelined requests that it keeps reading, and can be
// stopped in, while its replies pile up unread.
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

TEST(SkSim, AnswersClampCorrectAndRefuseAsAnInstrumentDoes) {
    sim::sk::Server server;
    ASSERT_TRUE(server.start("127.0.0.1", 0)) << server.error();
    support::Client c("127.0.0.1", server.port());
    struct Case {
        Bytes request;
        int status;
        std::vector<double> values;
    };
    const Case cases[] = {
        {parameter(3, 56, 0x60, {1e12, 1, 0}), 1, {18e9, 1, 0}},  // clamped to the limits: corrected
        {parameter(3, 56, 0x60, {2.5e9, 1, 0}), 0, {2.5e9, 1, 0}},
        {parameter(3, 88, 0x42, {-100, 0, 1}), 1, {-50, 0, 1}},
        {parameter(3, 50, 0x40, {16, 9000, 1, 9000}), 1, {16, 8188, 1, 9000}},
        {parameter(3, 3, 0x20, {17, 5}), 2, {17}},         // a value it has no use for is ignored
        {parameter(3, 66, 0x40, {2e5}), 1, {3e5}},         // the nearest filter it has,
        {parameter(4, 101, 0x40, {}), 0, {1.5e6, 1}},      // and the sample rate behind it
        {message(9, -32768, 0, 0, ""), -32767, {}},        // unknown command
        {parameter(4, 77, 0x40, {}), -32766, {}},          // unknown parameter
        {parameter(3, 105, 0x60, {1, 2}), -32765, {}},     // the response table is read-only
        {message(3, -32768, 0, 0x20, Bytes("\x03\x00", 2)), -32763, {}},      // a set without values
        {message(4, -32768, 0, 0x20, Bytes("\x03\x00\x00", 3)), -32755, {}},  // odd length
        {parameter(3, 3, 0x20, {4}), 0, {4}},                                 // still in step
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Bytes request = cases[i].request;
        request[12] = char(i + 1);  // the sequence number
        c.send(request);
        const Message m = receive(c);
        EXPECT_EQ(m.command, uint8_t(request[2])) << i;
        EXPECT_EQ(m.sequence, i + 1);
        EXPECT_EQ(m.status, cases[i].status) << i;
        if (!cases[i].values.empty()) {
            EXPECT_EQ(m.values, cases[i].values) << i;
        }
    }
    const auto log = server.requests();
    ASSERT_EQ(log.size(), std::size(cases));
    EXPECT_EQ(log[3].values, (std::vector<double>{16, 9000, 1, 9000}));

    // Without the signature the stream is lost: one error reply, then the connection closes.
    c.send(message(6, -32768, 0, 0, "", 99, 0xAA55));
    EXPECT_EQ(receive(c).status, -32754);
    EXPECT_TRUE(c.closedByPeer());
    support::Client again("127.0.0.1", server.port());
    again.send(parameter(4, 3, 0x20, {}));
    EXPECT_EQ(receive(again).values, std::vector<double>{4});
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
