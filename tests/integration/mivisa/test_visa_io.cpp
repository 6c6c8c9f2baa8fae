// Reads and writes over a socket session: exact counts, term chars, timeouts, peers that stop reading
// or are gone, a close that must wake a blocked read, and many sessions at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <set>
#include <thread>
#include <vector>

#include "Api.h"
#include "support/LoopbackServer.h"

using support::LoopbackServer;
using support::sleepMs;

namespace {

class IoTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS); }
    void TearDown() override { viClose(rm); }

    ViSession open(const LoopbackServer& server, ViUInt32 timeoutMs = 500) {
        ViSession vi = VI_NULL;
        std::string name = server.resource();
        EXPECT_EQ(viOpen(rm, &name[0], VI_NO_LOCK, 2000, &vi), VI_SUCCESS);
        EXPECT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, timeoutMs), VI_SUCCESS);
        return vi;
    }

    ViSession rm = VI_NULL;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string text(const ViByte* p, ViUInt32 n) {
    return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace

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

TEST_F(IoTest, ClosingASessionWakesAReadInAnotherThread) {
    LoopbackServer server(LoopbackServer::Kind::Silent);
    const ViSession vi = open(server, VI_TMO_INFINITE);
    auto reader = std::async(std::launch::async, [vi] {
        ViByte buf[8];
        return viRead(vi, buf, sizeof buf, nullptr);
    });
    sleepMs(100);
    EXPECT_EQ(viClose(vi), VI_SUCCESS);
    if (reader.wait_for(std::chrono::seconds(2)) != std::future_status::ready) {
        std::fprintf(stderr, "HANG: the read still waits after its session was closed\n");
        std::_Exit(1);  // nothing else could wake it
    }
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
    for (int i = 0; i < 20 && status == VI_SUCCESS; ++i) {
        status = viWrite(vi, reinterpret_cast<ViBuf>(&data[0]), 1 << 20, nullptr);
        sleepMs(20);
    }
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
}

// Fifty sessions open at once from two threads, each answered on its own connection: handles are never
// shared and no reply lands in another session.
TEST_F(IoTest, FiftySessionsFromTwoThreads) {
    LoopbackServer server(LoopbackServer::answering([](const std::string& line) { return line; }));
    std::vector<ViSession> handles[2];
    std::atomic<int> failures{0}, opened{0};
    auto work = [&](int t) {
        for (int i = 0; i < 25; ++i) handles[t].push_back(open(server));
        // All fifty are open before either thread goes on.
        ++opened;
        for (int i = 0; i < 1000 && opened < 2; ++i) sleepMs(5);
        for (size_t i = 0; i < handles[t].size(); ++i) {
            char reply[32] = {};
            const std::string expect = "t" + std::to_string(t) + "s" + std::to_string(i) + "\n";
            const char* query = expect.c_str();
            if (viQueryf(handles[t][i], const_cast<char*>("%s"), const_cast<char*>("%31T"), query, reply) !=
                    VI_SUCCESS ||
                expect != reply)
                ++failures;
        }
        for (ViSession vi : handles[t]) failures += viClose(vi) != VI_SUCCESS;
    };
    std::thread a(work, 0), b(work, 1);
    a.join();
    b.join();
    EXPECT_EQ(failures, 0);
    std::set<ViSession> all(handles[0].begin(), handles[0].end());
    all.insert(handles[1].begin(), handles[1].end());
    EXPECT_EQ(all.size(), 50u);
    EXPECT_EQ(server.accepted(), 50);
}
