// viWrite: everything sent, a peer that stops reading, a peer that is gone.
#include <atomic>
#include <future>

#include "VisaFixture.h"

using namespace visatest;

using WriteTest = VisaTest;

TEST_F(WriteTest, SendsEverything) {
    std::promise<std::string> received;
    ScriptedServer server([&](int fd) { received.set_value(readAll(fd)); });
    const ViSession vi = open(server, 2000);
    std::string data(5 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
    ViUInt32 sent = 0;
    EXPECT_EQ(viWrite(vi, reinterpret_cast<ViBuf>(&data[0]), static_cast<ViUInt32>(data.size()), &sent),
              VI_SUCCESS);
    EXPECT_EQ(sent, data.size());
    viClose(vi);
    EXPECT_TRUE(received.get_future().get() == data);
}

TEST_F(WriteTest, PeerThatStopsReadingTimesOutWithAPartialCount) {
    std::atomic<bool> done{false};
    ScriptedServer server([&](int) {
        while (!done) sleepMs(5);
    });
    const ViSession vi = open(server, 300);
    std::string data(64 << 20, 'x');
    ViUInt32 sent = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(viWrite(vi, reinterpret_cast<ViBuf>(&data[0]), static_cast<ViUInt32>(data.size()), &sent),
              VI_ERROR_TMO);
    EXPECT_LT(secondsSince(start), 3.0);
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, data.size());
    done = true;
}

TEST_F(WriteTest, PeerThatIsGoneIsReportedAsConnectionLost) {
    ScriptedServer server([](int) {});
    const ViSession vi = open(server, VI_TMO_INFINITE);
    sleepMs(100);
    std::string data(1 << 20, 'y');
    ViStatus status = VI_SUCCESS;
    // The first write may still land in the socket buffer before the reset comes back.
    for (int i = 0; i < 20 && status == VI_SUCCESS; ++i) {
        status = viWrite(vi, reinterpret_cast<ViBuf>(&data[0]), static_cast<ViUInt32>(data.size()), nullptr);
        sleepMs(20);
    }
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
}
