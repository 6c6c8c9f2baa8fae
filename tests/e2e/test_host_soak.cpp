// A host's usual calls, many times over, against an emulated N9030A, an emulated SK instrument and a
// simulated USB device: discover, connect, configure, acquire, disconnect. Every replacement of a backend
// leaves the new session working, and memory does not grow.
#include <gtest/gtest.h>
#include <trelvan/Trelvan.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

#include "HostHarness.h"

namespace {

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

int cycles() {
    const char* text = std::getenv("TRELVAN_SOAK_CYCLES");
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : 36;
}

TEST(HostSoak, CyclesThroughTheInstrumentsWithoutLosingSessionsOrMemory) {
    host::Bench bench("127.0.0.81", "127.0.0.82");
    ASSERT_TRUE(bench.running());
    const std::string addresses[3] = {bench.pxaAddress(), bench.skAddress(), "USB::0"};
    const int total = cycles();
    long warm = 0;
    QVector<IQ_Elem> block;
    std::vector<DeviceData> list = getDevList();
    int previous = 0;
    for (int i = 0; i < total; ++i) {
        // The N9030A and the USB device take turns; every twelfth cycle goes to the SK instrument instead,
        // whose start-up alone settles for four seconds.
        const int which = i % 12 == 11 ? 1 : (i % 2 == 0 ? 0 : 2);
        const DeviceData* found = host::find(list, addresses[which]);
        ASSERT_NE(found, nullptr) << "cycle " << i << " " << addresses[which];
        const DeviceData d = *found;
        if (previous == 2 && which != 2) {
            // The USB disconnect left the status word at 0, which a VISA connect takes for "connected":
            // it opens nothing, and the idle USB backend answers with nothing. Discovery sets it right.
            ASSERT_EQ(getStatus(), 0) << "cycle " << i;
            ASSERT_TRUE(setConnect(d));
            getData(&block);
            ASSERT_TRUE(block.isEmpty()) << "cycle " << i;
            list = getDevList();
        }
        previous = which;
        ASSERT_TRUE(setConnect(d)) << "cycle " << i << " " << d.address;
        setParam(Params{1e9 + 1e6 * (i % 7), which == 1 ? 1.5e6 : 10e6, 0});
        setNumPts(2048);
        getData(&block);
        ASSERT_EQ(block.size(), 2048) << "cycle " << i << " " << d.address;
        ASSERT_EQ(getStatus(), 0) << "cycle " << i;
        setDisconnect();
        if (i == total / 4) warm = residentBytes();
    }
    // The allocator's quarantine would hide growth under AddressSanitizer; there, LeakSanitizer checks.
    (void)warm;
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(residentBytes() - warm, 8L << 20);
#endif
}

}  // namespace
