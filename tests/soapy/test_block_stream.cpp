// The module's block stream over scripted blocks: what readStream hands out in pieces of any size.
#include "BlockStream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

using namespace trelvan_soapy;

// Thirty blocks of 1000 + 37 * (b % 7) samples {k, -k}, k counting the stream's samples at 1 MS/s; then a
// source that hangs, as a stopped instrument does, and then a block taken with settings since replaced.
TEST(BlockStream, EverySampleOnceInOrderThenTimeoutsAndNoStaleBlock) {
    int made = 0;
    long long next = 0;
    std::atomic<bool> frozen{true};
    BlockStream stream(
        [&](Block& block) {
            if (made >= 30) {
                while (frozen) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (made > 31) return false;
                block.samples.fill({double(made), 0}, 10);
                block.settings = made++ - 30;
                return true;
            }
            block.samples.resize(1000 + 37 * (made++ % 7));
            block.timeNs = next * 1000;
            for (IQ_Elem& s : block.samples) s = {double(next), -double(next++)};
            block.fullScale = 2.0;
            block.rate = 1e6;
            return true;
        },
        64);  // the queue holds them all, so none is lost
    std::set<long long> ends;
    for (long long b = 0, end = 0; b < 30; ++b) ends.insert(end += 1000 + 37 * (b % 7));
    stream.start();
    std::vector<double> out(2 * 333);
    long long got = 0;
    while (got < *ends.rbegin()) {
        const ReadResult r = stream.read(SampleFormat::CF64, out.data(), 1 + got % 333, 1000000);
        ASSERT_EQ(r.kind, ReadResult::Samples);
        EXPECT_EQ(r.timeNs, got * 1000);
        for (std::size_t i = 0; i < r.count; ++i, ++got)
            ASSERT_EQ(out[2 * i] * 2, double(got)) << "sample " << got;
        EXPECT_EQ(!r.moreInBlock, ends.count(got) == 1) << "at sample " << got;
    }
    EXPECT_EQ(stream.read(SampleFormat::CF64, out.data(), 10, 100000).kind, ReadResult::Timeout);
    stream.discardBefore(1);
    frozen = false;
    ASSERT_EQ(stream.read(SampleFormat::CF64, out.data(), 10, 2000000).kind, ReadResult::Samples);
    EXPECT_EQ(out[0], 31.0);
    stream.stop();
}
