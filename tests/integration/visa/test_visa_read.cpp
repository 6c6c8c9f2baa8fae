// viRead: how each read ends, buffering, and waits that must end early or last long.
#include <atomic>
#include <vector>

#include "VisaFixture.h"

using namespace visatest;

namespace {

std::string pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
    return s;
}

// Holds a connection open until the test is done with it.
struct Hold {
    std::atomic<bool> done{false};
    void wait() {
        while (!done) sleepMs(5);
    }
};

}  // namespace

using ReadTest = VisaTest;

TEST_F(ReadTest, CountReachedIsSuccessAndTheRestStaysBuffered) {
    Hold hold;
    ScriptedServer server([&](int fd) {
        sendAll(fd, "0123456789\n");
        hold.wait();
    });
    const ViSession vi = open(server);
    ViByte buf[16] = {};
    ViUInt32 got = 0;
    EXPECT_EQ(viRead(vi, buf, 4, &got), VI_SUCCESS);
    EXPECT_EQ(text(buf, got), "0123");
    // A read that ends exactly on the term char counts as count reached.
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, 1), VI_SUCCESS);
    EXPECT_EQ(viRead(vi, buf, 7, &got), VI_SUCCESS);
    EXPECT_EQ(text(buf, got), "456789\n");
    hold.done = true;
}

TEST_F(ReadTest, TermCharEndsTheReadOnlyWhenEnabled) {
    Hold hold;
    ScriptedServer server([&](int fd) {
        sendAll(fd, "ab\ncd;ef");
        hold.wait();
    });
    const ViSession vi = open(server, 300);
    ViByte buf[64] = {};
    ViUInt32 got = 0;
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, 1), VI_SUCCESS);
    EXPECT_EQ(viRead(vi, buf, sizeof buf, &got), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(text(buf, got), "ab\n");
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR, ';'), VI_SUCCESS);
    EXPECT_EQ(viRead(vi, buf, sizeof buf, &got), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(text(buf, got), "cd;");
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, 0), VI_SUCCESS);
    EXPECT_EQ(viRead(vi, buf, sizeof buf, &got), VI_ERROR_TMO);
    EXPECT_EQ(text(buf, got), "ef");
    hold.done = true;
}

TEST_F(ReadTest, TimeoutWithNothingReceived) {
    Hold hold;
    ScriptedServer server([&](int) { hold.wait(); });
    const ViSession vi = open(server, 300);
    ViByte buf[8];
    ViUInt32 got = 99;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(viRead(vi, buf, sizeof buf, &got), VI_ERROR_TMO);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(secondsSince(start), 0.25);
    EXPECT_LT(secondsSince(start), 0.9);
    // An immediate timeout only takes what is there.
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, VI_TMO_IMMEDIATE), VI_SUCCESS);
    EXPECT_EQ(viRead(vi, buf, sizeof buf, &got), VI_ERROR_TMO);
    hold.done = true;
}

TEST_F(ReadTest, PeerClosingMidReplyGivesWhatArrivedThenNothing) {
    const std::string sent = pattern(2 << 20);
    ScriptedServer server([&](int fd) { sendAll(fd, sent); });
    const ViSession vi = open(server, 2000);
    std::vector<ViByte> buf(3 << 20);
    ViUInt32 got = 0;
    ViUInt32 total = 0;
    ViStatus status;
    // Small reads first (served from the buffer), then one large one (straight into ours).
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(viRead(vi, buf.data() + total, 1000, &got), VI_SUCCESS);
        total += got;
    }
    status = viRead(vi, buf.data() + total, static_cast<ViUInt32>(buf.size()) - total, &got);
    total += got;
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
    ASSERT_EQ(total, sent.size());
    EXPECT_TRUE(text(buf.data(), total) == sent);
    EXPECT_EQ(viRead(vi, buf.data(), 10, &got), VI_ERROR_CONN_LOST);
    EXPECT_EQ(got, 0u);
}

TEST_F(ReadTest, DrippedBytesAreGathered) {
    ScriptedServer server([&](int fd) {
        for (char c : std::string("*IDN reply\n")) {
            sendAll(fd, std::string(1, c));
            sleepMs(15);
        }
        for (char c : std::string("abcdef")) {
            sendAll(fd, std::string(1, c));
            sleepMs(15);
        }
        sleepMs(200);
    });
    const ViSession vi = open(server, 2000);
    ViByte buf[64] = {};
    ViUInt32 got = 0;
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, 1), VI_SUCCESS);
    EXPECT_EQ(viRead(vi, buf, sizeof buf, &got), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(text(buf, got), "*IDN reply\n");
    EXPECT_EQ(viRead(vi, buf, 6, &got), VI_SUCCESS);
    EXPECT_EQ(text(buf, got), "abcdef");
}

TEST_F(ReadTest, LongestTimeoutsStillWaitAndAClosedPeerEndsThemAtOnce) {
    for (ViUInt32 timeout : {TRELVAN_TMO_RELAXED, VI_TMO_INFINITE}) {
        ScriptedServer server([&](int fd) {
            sleepMs(150);
            sendAll(fd, "late");
            sleepMs(150);
        });
        const ViSession vi = open(server, timeout);
        ViByte buf[8];
        ViUInt32 got = 0;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(viRead(vi, buf, 4, &got), VI_SUCCESS) << timeout;
        EXPECT_EQ(text(buf, got), "late");
        EXPECT_EQ(viRead(vi, buf, 4, &got), VI_ERROR_CONN_LOST) << timeout;
        EXPECT_LT(secondsSince(start), 5.0);
        viClose(vi);
    }
}

TEST_F(ReadTest, ClosingASessionWakesAReadInAnotherThread) {
    Hold hold;
    ScriptedServer server([&](int) { hold.wait(); });
    const ViSession vi = open(server, VI_TMO_INFINITE);
    ViStatus status = VI_SUCCESS;
    std::thread reader([&] {
        ViByte buf[8];
        ViUInt32 got = 0;
        status = viRead(vi, buf, sizeof buf, &got);
    });
    sleepMs(100);
    EXPECT_EQ(viClose(vi), VI_SUCCESS);
    reader.join();
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
    ViByte b;
    EXPECT_EQ(viRead(vi, &b, 1, nullptr), VI_ERROR_INV_OBJECT);
    hold.done = true;
}
