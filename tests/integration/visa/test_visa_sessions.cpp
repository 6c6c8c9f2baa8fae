// Handles, closing a manager, and many sessions at once from two threads.
#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "VisaFixture.h"

using namespace visatest;

namespace {

LoopbackServer::Script echo() {
    return LoopbackServer::answering([](const std::string& line) { return line; });
}

ViStatus openName(ViSession rm, std::string name, ViAccessMode mode, ViSession* vi) {
    return viOpen(rm, &name[0], mode, 1000, vi);
}

}  // namespace

using SessionTest = VisaTest;

TEST_F(SessionTest, HandlesAreNeverReusedAndClosingTheManagerClosesItsSessions) {
    LoopbackServer server(echo());
    const ViSession first = open(server);
    ASSERT_EQ(viClose(first), VI_SUCCESS);
    EXPECT_EQ(viClose(first), VI_ERROR_INV_OBJECT);
    const ViSession second = open(server);
    EXPECT_NE(second, first);
    EXPECT_EQ(viWrite(first, reinterpret_cast<ViBuf>(const_cast<char*>("x")), 1, nullptr),
              VI_ERROR_INV_OBJECT);

    ViSession otherRm = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&otherRm), VI_SUCCESS);
    ViSession child = VI_NULL;
    ASSERT_EQ(openName(otherRm, server.resource(), 0, &child), VI_SUCCESS);
    ASSERT_EQ(viClose(otherRm), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(child, VI_ATTR_TMO_VALUE, 100), VI_ERROR_INV_OBJECT);
    // The session of the other manager is untouched.
    char reply[16] = {};
    EXPECT_EQ(viQueryf(second, const_cast<char*>("ping\n"), const_cast<char*>("%15T"), reply), VI_SUCCESS);
    EXPECT_STREQ(reply, "ping\n");
}

TEST_F(SessionTest, FiftySessionsFromTwoThreads) {
    LoopbackServer server(echo());
    std::vector<ViSession> handles[2];
    std::atomic<int> failures{0};
    std::atomic<int> opened{0};
    auto work = [&](int t) {
        for (int i = 0; i < 25; ++i) {
            ViSession vi = VI_NULL;
            if (openName(rm, server.resource(), 0, &vi) != VI_SUCCESS) ++failures;
            handles[t].push_back(vi);
        }
        // All fifty are open before either thread goes on.
        ++opened;
        for (int i = 0; i < 1000 && opened < 2; ++i) sleepMs(5);
        for (size_t i = 0; i < handles[t].size(); ++i) {
            char reply[32] = {};
            const std::string expect = "t" + std::to_string(t) + "s" + std::to_string(i) + "\n";
            if (viQueryf(handles[t][i], const_cast<char*>("%s"), const_cast<char*>("%31T"), expect.c_str(),
                         reply) != VI_SUCCESS ||
                expect != reply)
                ++failures;
        }
        for (ViSession vi : handles[t])
            if (viClose(vi) != VI_SUCCESS) ++failures;
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
