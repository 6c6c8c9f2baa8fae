// Reads and writes over a socket session: exact counts, term chars, timeouts, peers that stop reading,
// close mid-reply or are gone, and a close that must wake a blocked read.
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "VisaFixture.h"

using namespace visatest;

using IoTest = VisaTest;

TEST_F(IoTest, ReadsEndAtTheCountOrAnEnabledTermCharAndLeaveTheRestBuffered) {
    LoopbackServer server(LoopbackServer::sending("0123456789\nab;cd", 0, 5000));
    const ViSession vi = open(server, 300);
    ViByte buf[64] = {};
    ViUInt32 got = 0;
    EXPECT_EQ(viRead(vi, buf, 4, &got), VI_SUCCESS);
    EXPECT_EQ(text(buf, got), "0123");
    // A read that ends exactly on the term char counts as count reached.
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, 1), VI_SUCCESS);
    EXPECT_EQ(viRead(vi, buf, 7, &got), VI_SUCCESS);
    EXPECT_EQ(text(buf, got), "456789\n");
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR, ';'), VI_SUCCESS);
    EXPECT_EQ(viRead(vi, buf, sizeof buf, &got), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(text(buf, got), "ab;");
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, 0), VI_SUCCESS);
    EXPECT_EQ(viRead(vi, buf, sizeof buf, &got), VI_ERROR_TMO);
    EXPECT_EQ(text(buf, got), "cd");
}

// The peer answers after 400 ms and closes 200 ms later: a short timeout ends the read first, the
// longest ones wait for the answer, and the close ends them at once.
TEST_F(IoTest, EveryTimeoutIsHonouredAndAClosedPeerEndsTheWait) {
    for (ViUInt32 timeout : {300u, TRELVAN_TMO_RELAXED, VI_TMO_INFINITE}) {
        SCOPED_TRACE(timeout);
        LoopbackServer server(LoopbackServer::sending("late", 400, 200));
        const ViSession vi = open(server, timeout);
        ViByte buf[8];
        ViUInt32 got = 99;
        const auto start = std::chrono::steady_clock::now();
        if (timeout == 300) {
            EXPECT_EQ(viRead(vi, buf, sizeof buf, &got), VI_ERROR_TMO);
            EXPECT_EQ(got, 0u);
            EXPECT_GE(secondsSince(start), 0.25);
            EXPECT_LT(secondsSince(start), 0.9);
        } else {
            EXPECT_EQ(viRead(vi, buf, 4, &got), VI_SUCCESS);
            EXPECT_EQ(text(buf, got), "late");
            EXPECT_EQ(viRead(vi, buf, 4, &got), VI_ERROR_CONN_LOST);
            EXPECT_LT(secondsSince(start), 2.0);
        }
        viClose(vi);
    }
}

TEST_F(IoTest, PeerClosingMidReplyGivesWhatArrivedThenNothing) {
    std::string sent(2 << 20, '\0');
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
    LoopbackServer server(LoopbackServer::sending(sent));
    const ViSession vi = open(server, 2000);
    std::vector<ViByte> buf(3 << 20);
    ViUInt32 got = 0, total = 0;
    // Small reads first (served from the buffer), then one large one (straight into ours).
    for (int i = 0; i < 3; ++i, total += got) ASSERT_EQ(viRead(vi, buf.data() + total, 1000, &got), VI_SUCCESS);
    EXPECT_EQ(viRead(vi, buf.data() + total, ViUInt32(buf.size()) - total, &got), VI_ERROR_CONN_LOST);
    total += got;
    ASSERT_EQ(total, sent.size());
    EXPECT_TRUE(text(buf.data(), total) == sent);
    EXPECT_EQ(viRead(vi, buf.data(), 10, &got), VI_ERROR_CONN_LOST);
    EXPECT_EQ(got, 0u);
}

TEST_F(IoTest, ClosingASessionWakesAReadInAnotherThread) {
    LoopbackServer server(LoopbackServer::Kind::Silent);
    const ViSession vi = open(server, VI_TMO_INFINITE);
    auto reader = std::async(std::launch::async, [vi] {
        ViByte buf[8];
        return viRead(vi, buf, sizeof buf, nullptr);
    });
    sleepMs(100);
    EXPECT_EQ(viClose(vi), VI_SUCCESS);
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(2)), std::future_status::ready) << "the read still waits";
    EXPECT_EQ(reader.get(), VI_ERROR_CONN_LOST);
    ViByte b;
    EXPECT_EQ(viRead(vi, &b, 1, nullptr), VI_ERROR_INV_OBJECT);
}

// Five megabytes do not fit the socket buffers: every short send must be followed by the rest.
TEST_F(IoTest, WriteSendsEverything) {
    std::promise<std::string> received;
    LoopbackServer server([&](LoopbackServer::Peer& p) { received.set_value(p.all()); });
    const ViSession vi = open(server, 2000);
    std::string data(5 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
    ViUInt32 sent = 0;
    EXPECT_EQ(viWrite(vi, reinterpret_cast<ViBuf>(&data[0]), ViUInt32(data.size()), &sent), VI_SUCCESS);
    EXPECT_EQ(sent, data.size());
    viClose(vi);
    EXPECT_TRUE(received.get_future().get() == data);
}

TEST_F(IoTest, WriteToAPeerThatStopsReadingTimesOutAndToOneThatIsGoneLosesTheConnection) {
    std::string data(64 << 20, 'x');
    LoopbackServer stopped(LoopbackServer::Kind::Silent);
    ViSession vi = open(stopped, 300);
    ViUInt32 sent = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(viWrite(vi, reinterpret_cast<ViBuf>(&data[0]), ViUInt32(data.size()), &sent), VI_ERROR_TMO);
    EXPECT_LT(secondsSince(start), 3.0);
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, data.size());

    LoopbackServer gone([](LoopbackServer::Peer&) {});
    vi = open(gone, VI_TMO_INFINITE);
    sleepMs(100);
    ViStatus status = VI_SUCCESS;
    // The first write may still land in the socket buffer before the reset comes back.
    for (int i = 0; i < 20 && status == VI_SUCCESS; ++i, sleepMs(20))
        status = viWrite(vi, reinterpret_cast<ViBuf>(&data[0]), 1 << 20, nullptr);
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
}

// What a formatted read leaves behind: a reply longer than the width is dropped whole, so the next query
// starts clean; a line feed ends the read whatever the term char says.
TEST_F(IoTest, FormattedReadsEndAtTheLineAndTheNextQueryStartsClean) {
    const std::vector<std::string> replies = {std::string(300, 'L') + "\n", "SECOND\n", "12\n"};
    LoopbackServer server([&](LoopbackServer::Peer& p) {
        std::string line;
        for (const std::string& reply : replies)
            if (p.line(line)) p.send(reply);
    });
    const ViSession vi = open(server);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR, ';'), VI_SUCCESS);
    char reply[140];
    std::memset(reply, '#', sizeof reply);
    EXPECT_EQ(viQueryf(vi, const_cast<char*>("*IDN?\n"), const_cast<char*>("%127T"), reply), VI_SUCCESS);
    EXPECT_EQ(std::strlen(reply), 127u);
    EXPECT_EQ(reply[128], '#');
    EXPECT_EQ(viQueryf(vi, const_cast<char*>("NEXT?\n"), const_cast<char*>("%127T"), reply), VI_SUCCESS);
    EXPECT_STREQ(reply, "SECOND\n");
    int value = 0;
    EXPECT_EQ(viQueryf(vi, const_cast<char*>("A?\n"), const_cast<char*>("%d"), &value), VI_SUCCESS);
    EXPECT_EQ(value, 12);
}
