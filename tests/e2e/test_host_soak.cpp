// Many cycles of connect, configure, acquire and disconnect across the three instruments: every
// replacement of a backend leaves the new session working, and memory does not grow.
#include <gtest/gtest.h>
#include <trelvan/Trelvan.h>

#include <cstdlib>

#include "HostHarness.h"

#if defined(__SANITIZE_ADDRESS__)
#define TRELVAN_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TRELVAN_UNDER_ASAN 1
#endif
#endif

namespace {

int cycles() {
    const char* text = std::getenv("TRELVAN_SOAK_CYCLES");
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : 36;
}

TEST(HostSoak, CyclesThroughTheInstrumentsWithoutLosingSessionsOrMemory) {
    host::Bench bench("127.0.0.81", "127.0.0.82");
    ASSERT_TRUE(bench.pxa->running() && bench.sk->running());
    const int total = cycles();
    long warm = 0;
    QVector<IQ_Elem> block;
    const std::string addresses[3] = {bench.pxaAddress(), bench.skAddress(), "USB::0"};
    std::vector<DeviceData> list;
    int previous = 2;
    for (int i = 0; i < total; ++i) {
        // The N9030A and the USB device take turns; every twelfth cycle goes to the SK instrument instead,
        // whose start-up alone settles for four seconds.
        const int which = i % 12 == 11 ? 1 : (i % 2 == 0 ? 0 : 2);
        // Discovery again after the USB device: its disconnect leaves the status word alone, and a VISA
        // instrument connects only from the "not connected" state that discovery sets.
        if (previous == 2 || list.empty()) list = getDevList();
        previous = which;
        const DeviceData* found = host::find(list, addresses[which]);
        ASSERT_NE(found, nullptr) << "cycle " << i << " " << addresses[which];
        const DeviceData d = *found;
        ASSERT_TRUE(setConnect(d)) << "cycle " << i << " " << d.address;
        setParam(Params{1e9 + 1e6 * (i % 7), which == 1 ? 1.5e6 : 10e6, 0});
        setNumPts(2048);
        getData(&block);
        ASSERT_FALSE(block.isEmpty()) << "cycle " << i << " " << d.address;
        ASSERT_EQ(getStatus(), 0) << "cycle " << i;
        setDisconnect();
        if (i == total / 4) warm = host::residentBytes();
    }
#if defined(TRELVAN_UNDER_ASAN)
    // The allocator's quarantine would hide growth under AddressSanitizer; there, LeakSanitizer checks.
    (void)warm;
#else
    EXPECT_LT(host::residentBytes() - warm, 8L << 20);
#endif
}

}  // namespace
