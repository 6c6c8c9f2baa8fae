// A host's disconnect from another thread waits for the acquisition in progress.
#include <gtest/gtest.h>
#include <trelvan/Trelvan.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "HostHarness.h"

namespace {

TEST(HostConcurrency, DisconnectWaitsForTheRunningAcquisition) {
    // The capture block stalls for 400 ms after its first 64 KiB.
    host::Bench bench("127.0.0.71", "127.0.0.72", {"--stall-inside", "65536:400"});
    ASSERT_TRUE(bench.running());
    const std::vector<DeviceData> list = getDevList();
    const DeviceData* pxa = host::find(list, bench.pxaAddress());
    ASSERT_TRUE(pxa != nullptr && setConnect(*pxa));
    setParam(Params{1e9, 10e6, 0});
    setNumPts(100000);

    std::atomic<bool> started{false};
    QVector<IQ_Elem> block;
    std::thread acquisition([&] {
        started = true;
        getData(&block);
    });
    while (!started) std::this_thread::yield();
    // Well inside the stall: a disconnect that did not wait would close the session under the capture.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    setDisconnect();
    acquisition.join();

    ASSERT_EQ(block.size(), 100000);
    EXPECT_TRUE(block.last().I != 0 || block.last().Q != 0) << "the capture was cut short";
    EXPECT_EQ(getStatus(), 1);
}

}  // namespace
