// A host's calls from two threads: a disconnect waits for the acquisition in progress, and settings and
// queries made from another thread while an acquisition runs neither break it nor hang.
#include <gtest/gtest.h>
#include <trelvan/Trelvan.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "HostHarness.h"

namespace {

TEST(HostConcurrency, DisconnectWaitsForTheRunningAcquisition) {
    // The capture block stalls for 400 ms after its first 64 KiB.
    host::Bench bench("127.0.0.71", "127.0.0.72", {"--stall-inside", "65536:400"});
    ASSERT_TRUE(bench.running());
    const DeviceData* pxa = host::find(getDevList(), bench.pxaAddress());
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

// Disabled while it fails: the facade hands these calls to the backend without waiting for the
// acquisition, so on an N9030A both threads read the one session and the settings thread waits for a
// reply the acquisition took (under the capture's relaxed timeout, for hours), and a Harogic device
// times out and delivers its 100-point priming block instead of the one asked for. Run it with
// --gtest_also_run_disabled_tests once the facade serialises them.
TEST(HostConcurrency, DISABLED_SettingsAndQueriesFromAnotherThreadDuringAnAcquisition) {
    host::Bench bench("127.0.0.73", "127.0.0.74");
    ASSERT_TRUE(bench.running());
    // Packets that take a millisecond each, as over a real bus, so the acquisition lasts.
    if (auto delay = reinterpret_cast<void (*)(int, unsigned)>(dlsym(RTLD_DEFAULT, "HtraSim_SetPacketDelay")))
        delay(0, 1000);
    for (const std::string& address : {bench.pxaAddress(), std::string("USB::0")}) {
        SCOPED_TRACE(address);
        const std::vector<DeviceData> list = getDevList();
        const DeviceData* d = host::find(list, address);
        ASSERT_TRUE(d != nullptr && setConnect(*d));
        setParam(Params{1e9, 10e6, 0});
        setNumPts(200000);
        std::atomic<bool> started{false}, done{false};
        QVector<IQ_Elem> block;
        std::thread acquisition([&] {
            started = true;
            getData(&block);
            done = true;
        });
        while (!started) std::this_thread::yield();
        int rounds = 0;
        for (; !done && rounds < 1000; ++rounds) {
            setParam(Params{1e9 + 1e6 * (rounds % 3), 10e6, 0});
            setNumPts(4096);
            getParameters(CUR);
            getError();
        }
        acquisition.join();
        EXPECT_GT(rounds, 0);
        // The block in progress is the one asked for when it began, complete.
        EXPECT_EQ(block.size(), 200000);
        EXPECT_TRUE(block.last().I != 0 || block.last().Q != 0);

        // Once it is over, what was set last is what the next acquisition uses.
        setParam(Params{1.2e9, 10e6, 0});
        setNumPts(4096);
        getData(&block);
        EXPECT_EQ(block.size(), 4096);
        EXPECT_EQ(getParameters(CUR).frequency, 1.2e9);
        EXPECT_EQ(getStatus(), 0);
        setDisconnect();
    }
}

}  // namespace
