// Each fault spoils exactly the replies it is aimed at, and the stream stays usable where the fault allows.
#include <gtest/gtest.h>

#include <thread>

#include "SkServer.h"
#include "SkTestClient.h"

using sim::sk::Fault;
using sktest::Client;
using sktest::Reply;

namespace {
constexpr uint16_t kMode = 3, kClk = 50;

class SkSimFaults : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start("127.0.0.1", 0)) << server.error(); }
    void inject(Fault::Kind kind, int command = -1, int parameter = -1, int arg = 0, int skip = 0,
                int count = 1) {
        Fault f;
        f.kind = kind;
        f.command = command;
        f.parameter = parameter;
        f.arg = arg;
        f.skip = skip;
        f.count = count;
        server.injectFault(f);
    }
    // One P_CLK / MI_RUN pair of 12 samples; the data reply is returned.
    Reply run(Client& c) {
        EXPECT_EQ(c.exchange(kClk, 0x40, {0, 12, 1, 12}).pid(), kClk);
        c.bare(6);
        return c.reply();
    }
    sim::sk::Server server;
};

TEST_F(SkSimFaults, HeaderFaultsSpoilOneReplyAndKeepTheStreamFramed) {
    Client c(server.port());
    inject(Fault::BadSignature, 3);
    Reply r = c.exchange(kMode, 0x20, {17});
    EXPECT_EQ(r.head[0], 0x55);
    EXPECT_EQ(r.head[1], 0xAA);
    EXPECT_EQ(r.pid(), kMode);

    inject(Fault::OddBodyLen, 3);
    r = c.exchange(kMode, 0x20, {17});
    EXPECT_EQ(r.bodyLen(), 5);
    EXPECT_EQ(r.body.size(), 5u);

    inject(Fault::OversizedBodyLen, 4);
    r = c.exchange(kMode, 0x20, {});
    EXPECT_EQ(r.bodyLen(), 65535);
    EXPECT_EQ(r.body.size(), 65535u);
    EXPECT_EQ(r.pid(), kMode);

    inject(Fault::WrongParameterId, -1, kClk);
    EXPECT_EQ(c.exchange(kMode, 0x20, {17}).pid(), kMode);  // aimed at another parameter
    EXPECT_EQ(c.exchange(kClk, 0x40, {0, 12, 1, 12}).pid(), kClk + 1);
    inject(Fault::WrongParameterId, 3, -1, 7);
    EXPECT_EQ(c.exchange(kMode, 0x20, {17}).pid(), 7);

    inject(Fault::HeaderStatus, 6);  // SE_READ_TIMEOUT by default
    r = run(c);
    EXPECT_EQ(r.status(), 20486);
    EXPECT_EQ(r.body.size(), 12u * 8 + 2);

    // After all of that the stream is still in step.
    r = c.exchange(kMode, 0x20, {9});
    EXPECT_EQ(r.signature(), 0x55AA);
    EXPECT_EQ(r.value(0), 9);
    EXPECT_EQ(r.status(), 0);
}

TEST_F(SkSimFaults, DataReplyFaults) {
    Client c(server.port());
    inject(Fault::EmptyData);
    Reply r = run(c);  // the P_CLK reply is not a data reply and passes untouched
    EXPECT_EQ(r.bodyLen(), 2);
    EXPECT_EQ(r.numParam(), 2);
    EXPECT_EQ(sktest::s16(r.body, 0), 0);

    inject(Fault::BodyStatus, 6, -1, -5);
    r = run(c);
    EXPECT_EQ(r.status(), 0);
    EXPECT_EQ(r.bodyLen(), 12 * 8 + 2);
    EXPECT_EQ(sktest::s16(r.body, r.body.size() - 2), -5);

    // skip and count: the second and third data replies only.
    inject(Fault::BodyStatus, 6, -1, 0, 1, 2);
    std::vector<int> statuses;
    for (int i = 0; i < 4; ++i) {
        r = run(c);
        statuses.push_back(sktest::s16(r.body, r.body.size() - 2));
    }
    EXPECT_EQ(statuses, (std::vector<int>{0, -32768, -32768, 0}));

    inject(Fault::CutShort, 6);
    EXPECT_EQ(c.exchange(kClk, 0x40, {0, 12, 1, 12}).status(), 0);
    c.bare(6);
    const auto head = c.read(16);
    ASSERT_EQ(head.size(), 16u);
    EXPECT_EQ(sktest::u16(head, 6), 12 * 8 + 2);
    EXPECT_EQ(c.read(12 * 8 + 2).size(), (12u * 8 + 2) / 2);  // half the body, then the end of the stream
    Client next(server.port());
    EXPECT_EQ(run(next).body.size(), 12u * 8 + 2);
}

TEST_F(SkSimFaults, RepliesThatStopComingWhileRequestsAreStillRead) {
    Client c(server.port());
    EXPECT_EQ(c.exchange(kMode, 0x20, {1}).value(0), 1);
    inject(Fault::StopReplying, 6);
    c.exchange(kClk, 0x40, {0, 12, 1, 12});
    c.bare(6);
    c.get(kMode, 0x20);
    EXPECT_TRUE(c.quietFor(300));
    EXPECT_TRUE(server.waitForRequests(4, 1000));
    Client fresh(server.port());  // a stall belongs to its connection
    EXPECT_EQ(fresh.exchange(kMode, 0x20, {}).value(0), 1);
}

TEST_F(SkSimFaults, DrippedAndDelayedRepliesArriveIntact) {
    Client c(server.port());
    inject(Fault::Drip, -1, -1, 20);
    c.set(kMode, 0x20, {17});
    pollfd p{c.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    uint8_t first[64];
    EXPECT_EQ(::recv(c.fd(), first, sizeof first, 0), 1);  // the next byte is 20 ms away
    std::vector<uint8_t> rest = c.read(16 + 4 - 1);
    ASSERT_EQ(rest.size(), 19u);
    EXPECT_EQ(first[0], 0xAA);
    EXPECT_EQ(sktest::u16(rest, 15), kMode);  // body starts at byte 16 of the reply
    EXPECT_EQ(sktest::u16(rest, 17), 17);

    inject(Fault::Delay, 3, -1, 400);
    c.set(kMode, 0x20, {18});
    EXPECT_TRUE(c.quietFor(150));
    const Reply r = c.reply();
    EXPECT_EQ(r.value(0), 18);
    EXPECT_EQ(c.exchange(kMode, 0x20, {19}).value(0), 19);
}

TEST_F(SkSimFaults, StopReturnsWhileAClientLeavesItsRepliesUnread) {
    Client c(server.port());
    std::vector<uint8_t> burst;
    for (int i = 0; i < 300; ++i) {
        const auto clk =
            Client::message(3, kClk, 0x40, {8188.0 * i, 8188, 1, 8188.0 * 300}, uint32_t(2 * i + 1));
        const auto run = Client::header(6, 0, 0, 0, uint32_t(2 * i + 2));
        burst.insert(burst.end(), clk.begin(), clk.end());
        burst.insert(burst.end(), run.begin(), run.end());
    }
    c.send(burst);
    ASSERT_TRUE(server.waitForRequests(600, 30000));
    server.stop();  // the writer is stuck on a full socket; stop must still get it out
    std::vector<uint8_t> sink;
    while (!(sink = c.read(1 << 20, 2000)).empty()) {
    }
    EXPECT_TRUE(c.closedByPeer(100));
}

}  // namespace
