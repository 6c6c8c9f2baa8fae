// A disconnect from another thread waits for the acquisition in progress, and an acquisition that fails
// leaves the facade free for the next call.
#include <gtest/gtest.h>
#include <trelvan/Trelvan.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "HostHarness.h"

namespace {

const DeviceData* connectPxa(const std::vector<DeviceData>& list, const host::Bench& bench) {
    const DeviceData* pxa = host::find(list, bench.pxaAddress());
    if (pxa == nullptr || !setConnect(*pxa)) return nullptr;
    setParam(Params{1e9, 10e6, 0});
    setNumPts(100000);
    return pxa;
}

TEST(HostConcurrency, DisconnectWaitsForTheRunningAcquisition) {
    // The capture block stalls for 400 ms after its first 64 KiB.
    host::Bench bench("127.0.0.71", "127.0.0.72", "", {"--stall-inside", "65536:400"});
    ASSERT_TRUE(bench.pxa->running());
    const std::vector<DeviceData> list = getDevList();
    ASSERT_NE(connectPxa(list, bench), nullptr);

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

    ASSERT_GT(block.size(), 65536 / 8);
    const IQ_Elem last = block.last();
    EXPECT_TRUE(last.I != 0 || last.Q != 0) << "the capture was cut short";
    EXPECT_EQ(getStatus(), 1);
}

TEST(HostConcurrency, AFailedAcquisitionLeavesTheFacadeFree) {
    // The connection drops 4 KiB into every capture block.
    host::Bench bench("127.0.0.73", "127.0.0.74", "", {"--close-after", "4096"});
    ASSERT_TRUE(bench.pxa->running());
    const std::vector<DeviceData> list = getDevList();
    ASSERT_NE(connectPxa(list, bench), nullptr);

    QVector<IQ_Elem> block;
    getData(&block);
    EXPECT_NE(getStatus(), 0);

    // Both calls that take the facade's lock come back.
    auto second = std::async(std::launch::async, [&] { getData(&block); });
    ASSERT_EQ(second.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    auto disconnect = std::async(std::launch::async, [] { setDisconnect(); });
    ASSERT_EQ(disconnect.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(getStatus(), 1);
}

}  // namespace
