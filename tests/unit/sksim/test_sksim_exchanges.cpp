// The emulator's answers to each exchange: echoes, clamping, the bandwidth/sample-rate pairs, statuses for
// what it does not understand, and its log of requests.
#include <gtest/gtest.h>

#include "SkOptions.h"
#include "SkServer.h"
#include "SkTestClient.h"

using sktest::Client;
using sktest::Reply;

namespace {
constexpr uint16_t kSet = 3, kGet = 4, kRun = 6;
constexpr uint16_t kMode = 3, kClk = 50, kFreq = 56, kIfBw = 66, kRefLevel = 88, kRate = 101, kRespFreq = 105;

class SkSimExchanges : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start("127.0.0.1", 0)) << server.error(); }
    sim::sk::Server server;
};

TEST_F(SkSimExchanges, ResetIsAnsweredWithABareHeaderAndRestoresDefaults) {
    Client c(server.port());
    ASSERT_TRUE(c.connected());
    EXPECT_EQ(c.exchange(kFreq, 0x60, {5e9, 1, 0}).value(0), 5e9);
    c.bare(1);
    const auto raw = c.read(16);
    const std::vector<uint8_t> expected{0xAA, 0x55, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0};
    EXPECT_EQ(raw, expected);  // nothing follows: the next reply starts at once
    EXPECT_EQ(c.exchange(kMode, 0x20, {17}).value(0), 17);
    EXPECT_EQ(server.state().frequencyHz, 1e9);
    EXPECT_EQ(server.state().resets, 1u);
}

TEST_F(SkSimExchanges, SettingsAreClampedToTheLimitsAndReportedAsCorrected) {
    Client c(server.port());
    struct Case {
        uint16_t pid;
        uint8_t lenFrac;
        std::vector<double> sent, back;
        int16_t status;
    } cases[] = {
        {kFreq, 0x60, {1e12, 1, 0}, {18e9, 1, 0}, 1},
        {kFreq, 0x60, {0, 1, 0}, {10e6, 1, 0}, 1},
        {kFreq, 0x60, {2.5e9, 1, 0}, {2.5e9, 1, 0}, 0},
        {kRefLevel, 0x42, {100, 0, 1}, {30, 0, 1}, 1},
        {kRefLevel, 0x42, {-100, 0, 1}, {-50, 0, 1}, 1},
        {kRefLevel, 0x42, {-7.25, 0, 1}, {-7.25, 0, 1}, 0},
        {kClk, 0x40, {0, 8188, 1, 2097152}, {0, 8188, 1, 2097152}, 0},
        {kClk, 0x40, {16, 9000, 1, 9000}, {16, 8188, 1, 9000}, 1},
        {kMode, 0x20, {17, 5}, {17}, 2},  // a value it has no use for is ignored
    };
    for (const Case& k : cases) {
        const Reply r = c.exchange(k.pid, k.lenFrac, k.sent);
        ASSERT_EQ(r.head.size(), 16u);
        EXPECT_EQ(r.command(), kSet);
        EXPECT_EQ(r.pid(), k.pid);
        EXPECT_EQ(r.status(), k.status) << "pid " << k.pid << " sent " << k.sent[0];
        EXPECT_EQ(r.lenFrac(), k.lenFrac);
        EXPECT_EQ(r.sequence(), c.lastSequence());
        ASSERT_EQ(r.numParam(), int(k.back.size()));
        EXPECT_EQ(r.bodyLen(), 2 + k.back.size() * (k.lenFrac >> 4));
        for (std::size_t i = 0; i < k.back.size(); ++i)
            EXPECT_EQ(r.value(int(i)), k.back[i]) << "pid " << k.pid;
    }
    // Fixed point with two fractional bytes, negative: -1.5 is 00 80 FE FF.
    const Reply r = c.exchange(kRefLevel, 0x42, {-1.5, 0, 1});
    EXPECT_EQ(std::vector<uint8_t>(r.body.begin() + 2, r.body.begin() + 6),
              (std::vector<uint8_t>{0x00, 0x80, 0xFE, 0xFF}));
    EXPECT_EQ(server.state().refLevelDbm, -1.5);
    EXPECT_EQ(server.state().clkBlock, 8188);
}

TEST_F(SkSimExchanges, EachIfBandwidthHasItsSampleRate) {
    Client c(server.port());
    struct {
        double asked, bandwidth, rate;
    } cases[] = {{1e7, 10e6, 12.5e6},
                 {100000, 100e3, 450e3},
                 {200000, 300e3, 1.5e6},
                 {3e6, 3e6, 4.5e6},
                 {5e7, 10e6, 12.5e6}};
    for (const auto& k : cases) {
        const Reply bw = c.exchange(kIfBw, 0x40, {k.asked});
        EXPECT_EQ(bw.value(0), k.bandwidth);
        EXPECT_EQ(bw.status(), k.asked == k.bandwidth ? 0 : 1);
        const Reply rate = c.exchange(kRate, 0x40, {});
        EXPECT_EQ(rate.command(), kGet);
        ASSERT_EQ(rate.numParam(), 2);
        EXPECT_EQ(rate.value(0) / rate.value(1), k.rate);
        EXPECT_EQ(rate.value(0), k.rate);  // read alone it is the rate too
    }
    // Setting a sample rate picks the filter whose rate is nearest.
    EXPECT_EQ(c.exchange(kRate, 0x40, {2e6, 1}).value(0), 1.5e6);
    EXPECT_EQ(server.state().ifBandwidthHz, 300e3);
}

TEST_F(SkSimExchanges, WhatItDoesNotUnderstandGetsTheMatchingStatus) {
    Client c(server.port());
    c.bare(9);
    Reply r = c.reply();
    EXPECT_EQ(r.command(), 9);
    EXPECT_EQ(r.status(), -32767);  // unknown command
    EXPECT_EQ(r.bodyLen(), 0);

    r = c.exchange(77, 0x40, {});
    EXPECT_EQ(r.status(), -32766);  // unknown parameter
    EXPECT_EQ(r.bodyLen(), 2);
    EXPECT_EQ(r.pid(), 77);

    EXPECT_EQ(c.exchange(kRespFreq, 0x60, {1, 2}).status(), -32765);  // the table is read-only
    EXPECT_EQ(c.exchange(kMode, 0x00, {}).status(), -32765);          // no value format

    c.send(Client::header(kSet, 2, 0, 0x20, 100));  // a set without values
    c.send({uint8_t(kMode), 0});
    EXPECT_EQ(c.reply().status(), -32763);
    c.send(Client::header(kSet, 6, 3, 0x20, 101));  // three values announced, two carried
    c.send({uint8_t(kMode), 0, 1, 0, 2, 0});
    EXPECT_EQ(c.reply().status(), -32763);
    c.send(Client::header(kGet, 3, 0, 0x20, 102));  // odd length: framing must survive it
    c.send({uint8_t(kMode), 0, 0});
    r = c.reply();
    EXPECT_EQ(r.status(), -32755);
    EXPECT_EQ(r.sequence(), 102u);
    EXPECT_EQ(c.exchange(kMode, 0x20, {4}).value(0), 4);

    // A request without the signature loses the stream: one error reply, then the connection closes.
    auto bad = Client::header(kRun, 0, 0, 0, 103);
    std::swap(bad[0], bad[1]);
    c.send(bad);
    r = c.reply();
    EXPECT_EQ(r.status(), -32754);
    EXPECT_TRUE(c.closedByPeer());
    Client again(server.port());
    EXPECT_EQ(again.exchange(kMode, 0x20, {}).value(0), 4);  // the instrument itself is unharmed
}

TEST_F(SkSimExchanges, TheLogHoldsEveryRequestAsReceived) {
    {
        Client c(server.port());
        c.bare(1);
        c.reply();
        c.exchange(kFreq, 0x60, {2e9, 1, 0});
        c.exchange(kRate, 0x40, {});
        c.exchange(kClk, 0x40, {0, 12, 1, 10});
        c.bare(kRun);
        c.reply();
    }
    Client second(server.port());
    second.exchange(kRefLevel, 0x42, {-20, 0, 1});
    const auto log = server.requests();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0].command, 1);
    EXPECT_EQ(log[0].parameter, -1);
    EXPECT_EQ(log[0].status, int16_t(0x8000));
    EXPECT_EQ(log[1].parameter, kFreq);
    EXPECT_EQ(log[1].lenFrac, 0x60);
    EXPECT_EQ(log[1].values, (std::vector<double>{2e9, 1, 0}));
    EXPECT_EQ(log[2].command, kGet);
    EXPECT_TRUE(log[2].values.empty());
    EXPECT_EQ(log[3].values, (std::vector<double>{0, 12, 1, 10}));
    EXPECT_EQ(log[4].command, kRun);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(log[i].sequence, uint32_t(i + 1));
        EXPECT_EQ(log[i].connection, 1);
    }
    EXPECT_EQ(log[5].connection, 2);
    EXPECT_EQ(log[5].values, (std::vector<double>{-20, 0, 1}));
    server.clearRequests();
    EXPECT_TRUE(server.requests().empty());
}

TEST(SkSimOptions, CommandLineIsReadIntoSettingsAndFaults) {
    sim::sk::Options o;
    std::string error;
    ASSERT_TRUE(sim::sk::parseOptions(
        {"--listen", "127.0.0.9:0", "--tone", "1e5:-30", "--tone", "-2e5:-45.5", "--noise", "-110", "--fault",
         "header-status:20486,command=run,skip=2,count=-1", "--fault", "wrong-param,param=P_CLK",
         "--delay-ms", "50"},
        &o, &error))
        << error;
    EXPECT_EQ(o.address, "127.0.0.9");
    EXPECT_EQ(o.port, 0);
    ASSERT_EQ(o.settings.tones.size(), 2u);
    EXPECT_EQ(o.settings.tones[1].offsetHz, -2e5);
    EXPECT_EQ(o.settings.tones[1].levelDbm, -45.5);
    EXPECT_EQ(o.settings.noiseDbm, -110);
    ASSERT_EQ(o.faults.size(), 3u);
    EXPECT_EQ(o.faults[0].kind, sim::sk::Fault::HeaderStatus);
    EXPECT_EQ(o.faults[0].arg, 20486);
    EXPECT_EQ(o.faults[0].command, kRun);
    EXPECT_EQ(o.faults[0].skip, 2);
    EXPECT_EQ(o.faults[0].count, -1);
    EXPECT_EQ(o.faults[1].parameter, kClk);
    EXPECT_EQ(o.faults[2].kind, sim::sk::Fault::Delay);
    EXPECT_EQ(o.faults[2].arg, 50);

    for (const char* bad :
         {"--listen=1", "--tone", "--noise x", "--fault melt", "--fault delay,skip=-1", "--points 5000"}) {
        std::vector<std::string> args;
        std::string s(bad);
        for (std::size_t at = 0; at != std::string::npos;) {
            const std::size_t sp = s.find(' ', at);
            args.push_back(s.substr(at, sp == std::string::npos ? sp : sp - at));
            at = sp == std::string::npos ? sp : sp + 1;
        }
        sim::sk::Options ignored;
        EXPECT_FALSE(sim::sk::parseOptions(args, &ignored, &error)) << bad;
    }
}

}  // namespace
