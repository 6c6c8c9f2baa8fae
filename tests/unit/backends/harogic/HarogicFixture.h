// A fresh simulated bus for every test, the facade's records a backend borrows, and the library's log.
#pragma once

#include <HtraSim.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "backends/harogic/Harogic.h"
#include "support/LogCapture.h"
#include "support/Records.h"

class HarogicTest : public ::testing::Test {
protected:
    void SetUp() override { HtraSim_Reset(); }

    std::unique_ptr<Harogic> connect(const char* address = "USB::0") {
        std::strncpy(r.device.address, address, sizeof r.device.address - 1);
        return std::make_unique<Harogic>(r.init());
    }
    static int calls(HtraSimFunction function, int device = 0) { return HtraSim_CallCount(device, function); }
    // The next n packet reads of device 0, from the `fromNext`-th on, return `status`.
    static void injectPackets(int status, int n = 1, int fromNext = 1) {
        HtraSim_InjectStatus(0, HTRASIM_GET_IQ_STREAM, calls(HTRASIM_GET_IQ_STREAM) + fromNext, n, status);
    }

    support::Records r{"USB::0"};
    support::LogCapture log;
};
