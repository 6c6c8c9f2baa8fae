#include <chrono>
#include <thread>

#include "HarogicFixture.h"

namespace {

TEST_F(HarogicTest, DisconnectFromAnotherThreadEndsTheAcquisitionAfterThePacketInHand) {
    HtraSim_SetSamplesPerPacket(0, 64);
    auto h = connect();
    ASSERT_EQ(r.status, 0);
    h->setNumPoints(64 * 2000);
    HtraSim_SetPacketDelay(0, 200);
    const int reads = calls(HTRASIM_GET_IQ_STREAM), stops = calls(HTRASIM_BUS_TRIGGER_STOP);

    QVector<IQ_Elem> out;
    std::thread acquisition([&] { h->getData(&out); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (calls(HTRASIM_GET_IQ_STREAM) < reads + 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    h->disconnectH();
    const int atDisconnect = calls(HTRASIM_GET_IQ_STREAM);
    acquisition.join();

    EXPECT_GE(atDisconnect - reads, 3);
    EXPECT_LE(calls(HTRASIM_GET_IQ_STREAM) - atDisconnect, 1);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(r.status, 0);  // the packet in hand arrived whole: nothing closed the device under it
    EXPECT_EQ(calls(HTRASIM_BUS_TRIGGER_STOP), stops);
    // The acquisition closed the forgotten device once it let go of it, and never used it after.
    EXPECT_EQ(calls(HTRASIM_DEVICE_CLOSE), 1);
    EXPECT_FALSE(HtraSim_IsOpen(0));
    EXPECT_EQ(calls(HTRASIM_GET_IQ_STREAM, HTRASIM_UNKNOWN_HANDLE), 0);

    HtraSim_SetPacketDelay(0, 0);
    auto again = connect();
    EXPECT_EQ(r.status, 0);
}

}  // namespace
