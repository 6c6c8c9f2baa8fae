// Formatted I/O against a line-based server that logs what it received.
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "VisaFixture.h"

using namespace visatest;

namespace {

// Answers each received line from a script of replies (none once the script runs out) and keeps the lines.
class LineServer {
public:
    explicit LineServer(std::vector<std::string> replies)
        : replies_(std::move(replies)), server_([this](int fd) { serve(fd); }) {}
    ~LineServer() { done_ = true; }
    const ScriptedServer& server() const { return server_; }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    // The lines received once at least `n` are in (or after two seconds).
    std::vector<std::string> lines(size_t n) {
        for (int i = 0; i < 400 && lines().size() < n; ++i) sleepMs(5);
        return lines();
    }

private:
    void serve(int fd) {
        std::string line;
        size_t next = 0;
        while (!done_ && readLine(fd, line)) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                lines_.push_back(line);
            }
            if (next < replies_.size()) sendAll(fd, replies_[next++]);
        }
    }
    std::vector<std::string> replies_;
    std::atomic<bool> done_{false};
    std::mutex mutex_;
    std::vector<std::string> lines_;
    ScriptedServer server_;
};

}  // namespace

using FormattedTest = VisaTest;

TEST_F(FormattedTest, PrintfSendsTheFormattedText) {
    LineServer peer({});
    const ViSession vi = open(peer.server());
    EXPECT_EQ(viPrintf(vi, const_cast<char*>(":FREQ %f;%d;%s;%-4s|%5.2e;%c;%lld;%u;%g%%\n"), 1.5e9, -42,
                       "ABC", "x", 12345.678, 'Q', 1234567890123LL, 7u, 0.25),
              VI_SUCCESS);
    // An unsupported directive sends nothing at all.
    EXPECT_EQ(viPrintf(vi, const_cast<char*>("A%dB%x\n"), 1, 2), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viPrintf(vi, const_cast<char*>("%s"), "*RST\n"), VI_SUCCESS);
    EXPECT_EQ(viPrintf(vi, const_cast<char*>("END\n")), VI_SUCCESS);
    const std::vector<std::string> lines = peer.lines(3);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], ":FREQ 1500000000.000000;-42;ABC;x   |1.23e+04;Q;1234567890123;7;0.25%\n");
    EXPECT_EQ(lines[1], "*RST\n");
}

TEST_F(FormattedTest, WidthBoundsTheStoredReplyAndTheNextQueryStartsClean) {
    const std::string longReply = std::string(300, 'L') + "\n";
    LineServer peer({longReply, "SECOND\n", "+1.25E+03,-7, word  rest\n"});
    const ViSession vi = open(peer.server());
    char reply[140];
    std::memset(reply, '#', sizeof reply);
    EXPECT_EQ(viQueryf(vi, const_cast<char*>("*IDN?\n"), const_cast<char*>("%127T"), reply), VI_SUCCESS);
    EXPECT_EQ(std::strlen(reply), 127u);
    EXPECT_EQ(reply[128], '#');
    EXPECT_EQ(viQueryf(vi, const_cast<char*>("%s\n"), const_cast<char*>("%127T"), "NEXT?", reply),
              VI_SUCCESS);
    EXPECT_STREQ(reply, "SECOND\n");

    double real = 0;
    long integer = 0;
    char word[3] = {};
    EXPECT_EQ(
        viQueryf(vi, const_cast<char*>("Q3\n"), const_cast<char*>("%lf,%ld,%2s"), &real, &integer, word),
        VI_SUCCESS);
    EXPECT_DOUBLE_EQ(real, 1250.0);
    EXPECT_EQ(integer, -7);
    EXPECT_STREQ(word, "wo");
    const std::vector<std::string> lines = peer.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "NEXT?\n");
}

TEST_F(FormattedTest, ALineFeedEndsAFormattedReadWhateverTheTermCharSays) {
    LineServer peer({"12\n", "34\n", "abc\n"});
    const ViSession vi = open(peer.server());
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR, ';'), VI_SUCCESS);
    int a = 0, b = 0;
    EXPECT_EQ(viQueryf(vi, const_cast<char*>("A?\n"), const_cast<char*>("%d"), &a), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, 1), VI_SUCCESS);
    EXPECT_EQ(viPrintf(vi, const_cast<char*>("B?\n")), VI_SUCCESS);
    EXPECT_EQ(viScanf(vi, const_cast<char*>("%d"), &b), VI_SUCCESS);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 34);
    // A reply that does not fit the format leaves the argument alone.
    int untouched = 5;
    EXPECT_EQ(viQueryf(vi, const_cast<char*>("C?\n"), const_cast<char*>("%d"), &untouched),
              static_cast<ViStatus>(0xBFFF003F));
    EXPECT_EQ(untouched, 5);
}

TEST_F(FormattedTest, QueryWithoutAReplyTimesOut) {
    LineServer peer({});
    const ViSession vi = open(peer.server(), 300);
    char reply[128] = {};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(viQueryf(vi, const_cast<char*>("*OPC?\n"), const_cast<char*>("%127T"), reply), VI_ERROR_TMO);
    EXPECT_LT(secondsSince(start), 0.9);
    EXPECT_STREQ(reply, "");
    // An unsupported read format is refused before anything is sent.
    EXPECT_EQ(viQueryf(vi, const_cast<char*>("X?\n"), const_cast<char*>("%[a-z]"), reply),
              VI_ERROR_NSUP_OPER);
    EXPECT_EQ(viPrintf(vi, const_cast<char*>("END\n")), VI_SUCCESS);
    const std::vector<std::string> lines = peer.lines(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "END\n");
}

TEST_F(FormattedTest, SPrintfFormatsIntoTheCallersBuffer) {
    LineServer peer({});
    const ViSession vi = open(peer.server());
    unsigned char buf[64];
    EXPECT_EQ(viSPrintf(vi, buf, const_cast<char*>(":SENS:FREQ:CENT %f\n"), 2.5), VI_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), ":SENS:FREQ:CENT 2.500000\n");
    EXPECT_EQ(viSPrintf(VI_NULL, buf, const_cast<char*>("x")), VI_ERROR_INV_OBJECT);
}
