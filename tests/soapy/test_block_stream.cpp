// The module's block stream over scripted blocks: what readStream hands out in pieces of any size.
#include "BlockStream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

using namespace trelvan_soapy;

namespace {
// Block b holds samples {k, -k} for the stream's running sample number k, with a length of its own.
int blockSize(int b) {
    return 1000 + 37 * (b % 7);
}
}  // namespace

TEST(BlockStream, EverySampleOnceInOrderAcrossOddReads) {
    int made = 0;
    long long next = 0;
    BlockStream stream(
        [&](Block& block) {
            if (made == 30) return false;  // the queue holds them all, so none is lost
            block.samples.resize(blockSize(made++));
            for (IQ_Elem& s : block.samples) s = {double(next), -double(next++)};
            block.fullScale = 2.0;
            return true;
        },
        64);
    stream.start();
    std::vector<double> out(2 * 333);
    long long got = 0, blocks = 0;
    std::size_t inBlock = 0;
    while (got < 20000) {
        const ReadResult r = stream.read(SampleFormat::CF64, out.data(), 1 + got % 333, 1000000);
        ASSERT_EQ(r.kind, ReadResult::Samples);
        for (std::size_t i = 0; i < r.count; ++i, ++got)
            ASSERT_EQ(out[2 * i] * 2, double(got)) << "sample " << got;
        inBlock += r.count;
        if (r.moreInBlock) continue;
        EXPECT_EQ(inBlock, std::size_t(blockSize(blocks++)));
        inBlock = 0;
    }
    stream.stop();
}

// An instrument that does not answer: reads time out when asked, and the blocks taken with settings
// since replaced never arrive.
TEST(BlockStream, ReadsKeepTheirTimeoutAndStaleBlocksGo) {
    std::mutex m;
    std::condition_variable cv;
    bool frozen = true;
    int made = 0;
    std::atomic<unsigned long long> settings{1};
    BlockStream stream(
        [&](Block& block) {
            std::unique_lock<std::mutex> lock(m);
            if (made++ == 2) return false;
            const unsigned long long taken = settings;
            cv.wait(lock, [&] { return !frozen; });
            block.samples.fill({double(taken), 0}, 10);
            block.settings = taken;
            return true;
        },
        4);
    stream.start();
    IQ_Elem out[10];
    EXPECT_EQ(stream.read(SampleFormat::CF64, out, 10, 100000).kind, ReadResult::Timeout);
    settings = 2;
    stream.discardBefore(2);
    {
        std::lock_guard<std::mutex> lock(m);
        frozen = false;
    }
    cv.notify_all();
    ASSERT_EQ(stream.read(SampleFormat::CF64, out, 10, 2000000).kind, ReadResult::Samples);
    EXPECT_EQ(out[0].I, 2.0);
    stream.stop();
}
