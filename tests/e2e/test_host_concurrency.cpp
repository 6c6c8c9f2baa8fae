// A host's queries answer while an acquisition runs, and facade objects of their own do not wait for one
// another. (That a disconnect waits for the acquisition in progress is a row of the SK fault matrix.)
#include <gtest/gtest.h>
#include <trelvan/Trelvan.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "HostHarness.h"

namespace {

// Queries take no lock: from another thread they answer while an acquisition runs, with what was set,
// and leave the acquisition whole. Settings are the host's to keep apart from acquisitions.
TEST(HostConcurrency, QueriesAnswerDuringAnAcquisitionWithoutDisturbingIt) {
    host::Bench bench("127.0.0.73", "127.0.0.74");
    ASSERT_TRUE(bench.running());
    const std::vector<DeviceData> list = getDevList();
    const DeviceData* sk = host::find(list, bench.skAddress());
    ASSERT_TRUE(sk != nullptr && setConnect(*sk));
    setParam(Params{1e9, 10e6, 0});
    setNumPts(1 << 20);
    const Params set = getParameters(CUR);
    const int points = getNumPTS(CUR);
    const double rate = getCurSampleRate();
    const int errors = getError().size();

    std::atomic<bool> running{true};
    QVector<IQ_Elem> block;
    std::thread acquisition([&] {
        getData(&block);
        running = false;
    });
    // Well inside the acquisition, which takes hundreds of milliseconds: counting from its start would
    // count the answers given before it took the lock.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int answeredMeanwhile = 0;
    while (running) {
        const Params p = getParameters(CUR);
        EXPECT_TRUE(p.frequency == set.frequency && p.sampleRate == set.sampleRate && p.refLevel == set.refLevel);
        EXPECT_EQ(getNumPTS(CUR), points);
        EXPECT_EQ(getCurSampleRate(), rate);
        EXPECT_EQ(getError().size(), errors);
        if (running) ++answeredMeanwhile;
    }
    acquisition.join();
    // Thousands when they take no lock; one at most when they wait for it.
    EXPECT_GT(answeredMeanwhile, 100) << "the queries waited for the acquisition";
    EXPECT_EQ(block.size(), points);
    EXPECT_EQ(getStatus(), 0);
    setDisconnect();
}

}  // namespace

// Facade objects of their own are connections of their own: while one instrument stalls inside an
// acquisition, another object connects to a second instrument, acquires and disconnects without waiting.
TEST(HostConcurrency, TwoFacadeObjectsAcquireFromTwoInstrumentsAtOnce) {
    host::Bench bench("127.0.0.75", "127.0.0.76", {"--stall-inside", "65536:3000"});
    ASSERT_TRUE(bench.running());
    Trelvan first, second;
    const std::vector<DeviceData> list = first.getDevList();
    const DeviceData *pxa = host::find(list, bench.pxaAddress()), *sk = host::find(list, bench.skAddress());
    second.getDevList();
    ASSERT_TRUE(pxa != nullptr && sk != nullptr && first.setConnect(*pxa) && second.setConnect(*sk));
    first.setNumPts(100000);
    second.setNumPts(8192);

    std::atomic<bool> stalled{true};
    QVector<IQ_Elem> pxaBlock;
    std::thread acquisition([&] {
        first.getData(&pxaBlock);
        stalled = false;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    QVector<IQ_Elem> skBlock;
    second.getData(&skBlock);
    second.setDisconnect();
    EXPECT_TRUE(stalled) << "the second instrument waited for the first one's acquisition";
    acquisition.join();

    EXPECT_EQ(skBlock.size(), 8192);
    EXPECT_EQ(pxaBlock.size(), 100000);
    EXPECT_EQ(first.getStatus(), 0);
    EXPECT_EQ(second.getStatus(), 1);
    first.setDisconnect();
}
