// Whole SK messages over a scripted VISA: the bytes of the requests, short and timed-out writes, replies
// assembled from short reads, and peers that stop or send what does not fit.
#include <gtest/gtest.h>

#include "backends/sk/SkVocabulary.h"
#include "support/LogCapture.h"
#include "support/SkScripted.h"

namespace {

using namespace support::sk;

class SkTransport : public testing::Test {
protected:
    void SetUp() override {
        peer.install(r.visa);
        sk = support::skWithoutStartUp(r);
    }
    ViStatus receive(int timeoutMs = 2000) {
        unsigned char* msg = nullptr;
        size = 0;
        return sk->ReceiveData(&msg, &size, timeoutMs);
    }
    Bytes buffer() const { return Bytes(reinterpret_cast<const char*>(sk->m_receiveBuffer), size); }

    support::Records r;
    support::ScriptedVisa peer;
    std::unique_ptr<SK> sk;
    unsigned long size = 0;
    support::LogCapture log;
};

TEST_F(SkTransport, RequestsAreNumberedAndLaidOutByteForByte) {
    double three = 3;
    ASSERT_EQ(sk->SendParameter(MI_SET, P_SAMPLE_RATE, 1, 0x40, &three), VI_SUCCESS);
    EXPECT_EQ(peer.written, Bytes("\xAA\x55\x03\x00\x00\x80\x06\x00\x01\x40\x00\x00\x01\x00\x00\x00"
                                  "\x65\x00\x03\x00\x00\x00",
                                  22));
    // The next request carries the next number, whatever its command.
    peer.stream = message(MI_RESET, 0, 0, 0, "");
    ASSERT_EQ(sk->ProcessReset(), VI_SUCCESS);
    EXPECT_EQ(peer.written.substr(22), message(MI_RESET, -32768, 0, 0, "", 2));
    EXPECT_EQ(peer.timeouts(), std::vector<ViAttrState>(3, 2000));
}

TEST_F(SkTransport, ShortAndTimedOutWritesAreRetriedWithTheRestAndAStalledPeerIsLeft) {
    // Every other write of at most 5 bytes times out having moved its bytes.
    static ViStatus (*inner)(ViSession, ViBuf, ViUInt32, ViPUInt32) = nullptr;
    inner = r.visa.viWrite;
    r.visa.viWrite = [](ViSession s, ViBuf b, ViUInt32 n, ViPUInt32 done) {
        static int calls = 0;
        const ViStatus result = inner(s, b, n, done);
        return result == VI_SUCCESS && ++calls % 2 == 0 ? VI_ERROR_TMO : result;
    };
    peer.writeCap = 5;
    Bytes data = "0123456789abcdefghij";
    EXPECT_EQ(sk->SendData(reinterpret_cast<unsigned char*>(&data[0]), data.size()), VI_ERROR_TMO);
    EXPECT_EQ(peer.written, data);

    peer.writeStatus = VI_ERROR_TMO;  // takes nothing, ever
    EXPECT_EQ(sk->SendData(reinterpret_cast<unsigned char*>(&data[0]), data.size()), VI_ERROR_TMO);
    EXPECT_EQ(r.status, VI_ERROR_TMO);
    peer.writeStatus = VI_ERROR_CONN_LOST;
    const std::size_t before = peer.timeouts().size();
    EXPECT_EQ(sk->SendData(reinterpret_cast<unsigned char*>(&data[0]), data.size()), VI_ERROR_CONN_LOST);
    EXPECT_EQ(peer.timeouts().size(), before + 1);
}

TEST_F(SkTransport, RepliesAreAssembledFromShortReadsAndNothingBeyondIsRead) {
    const Bytes reply = parameter(MI_GET, 101, 0x40, {12500000}, 1, 9);
    peer.stream = reply + "next";
    peer.readCap = 3;
    peer.whenCapped = VI_SUCCESS;  // short reads are no failure
    ASSERT_EQ(receive(777), VI_SUCCESS);
    EXPECT_EQ(buffer(), reply);
    EXPECT_EQ(peer.stream, "next");
    EXPECT_EQ(peer.timeouts(), std::vector<ViAttrState>{777});

    // An empty body still costs one read, for nothing.
    peer.readRequests.clear();
    peer.readCap = 0;
    peer.stream = message(MI_RUN, 0, 0, 0, "");
    ASSERT_EQ(receive(), VI_SUCCESS);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(peer.readRequests, (std::vector<ViUInt32>{16, 0}));
}

TEST_F(SkTransport, WhatDoesNotFitOrStopsHalfWayEndsTheReceive) {
    // A bad signature is only returned, leaving the buffer and the body alone.
    peer.stream = message(MI_SET, 0, 0, 0, "xy");
    ASSERT_EQ(receive(), VI_SUCCESS);
    peer.stream = message(MI_SET, 0, 0, 0, "body", 0, 0xAA55) + "rest";
    EXPECT_EQ(receive(), VI_ERROR_RAW_RD_PROT_VIOL);
    EXPECT_EQ(r.status, VI_SUCCESS);
    size = 18;
    EXPECT_EQ(buffer(), message(MI_SET, 0, 0, 0, "xy"));
    EXPECT_EQ(peer.stream, "bodyrest");

    // A body beyond the buffer is drained so the stream stays in step; the largest that fits is taken.
    const Bytes largest = message(MI_RUN, 0, 0, 0, Bytes(65520, 'y'));
    peer.stream = message(MI_RUN, 0, 0, 0, Bytes(65522, 'x')) + largest;
    EXPECT_EQ(receive(), VI_ERROR_RAW_RD_PROT_VIOL);
    ASSERT_EQ(receive(), VI_SUCCESS);
    EXPECT_EQ(buffer(), largest);

    // A peer that stops, or keeps answering success with nothing, cannot hold the caller.
    peer.stream = message(MI_RUN, 0, 0, 0, Bytes(4000, 'z')).substr(0, 1000);
    EXPECT_EQ(receive(), VI_ERROR_TMO);
    EXPECT_EQ(r.status, VI_ERROR_TMO);
    peer.whenDry = VI_SUCCESS;
    peer.readRequests.clear();
    EXPECT_EQ(receive(), VI_ERROR_TMO);
    EXPECT_LE(peer.readRequests.size(), 3u);
}

TEST_F(SkTransport, AReplyWithoutAParameterBodyIsReportedAndDecodesNothing) {
    peer.stream = message(MI_GET, 0, 1, 0x40, "");
    unsigned short pid = 77;
    double values[kSkMaxValues] = {5};
    EXPECT_EQ(sk->ReceiveParameter(pid, values, nullptr, nullptr), VI_SUCCESS);
    EXPECT_EQ(pid, 77);
    EXPECT_EQ(values[0], 5);
    EXPECT_EQ(log.lines(),
              QStringList{QStringLiteral("ASSERT: \"rcvHead->BodyLen >= 2 && (rcvHead->Command == MI_SET || "
                                         "rcvHead->Command == MI_GET)\" in file ..\\trelvan\\sk, line 537")});
}

}  // namespace
