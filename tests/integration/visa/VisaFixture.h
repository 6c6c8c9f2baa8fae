// A resource manager per test, and a session to a loopback server.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "Api.h"
#include "support/LoopbackServer.h"

namespace visatest {

using support::LoopbackServer;
using support::sleepMs;

class VisaTest : public ::testing::Test {
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

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline std::string text(const ViByte* p, ViUInt32 n) {
    return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace visatest
