// The facade's readers, operation-complete wait and pass-through, against a scripted VISA.
#include <gtest/gtest.h>

#include <cstring>

#include "ScriptedVisa.h"
#include "backends/pxa/Scpi.h"
#include "facade/Trelvan.h"

namespace {

class DirectIo : public ::testing::Test {
protected:
    void SetUp() override {
        visa.install(t.visa);
        t.status = 0;
        t.session = 5;
        t.isPXA = true;
    }
    Trelvan t;
    ScriptedVisa visa;
    unsigned long retCount = 12345;
};

TEST_F(DirectIo, ReadBufStopsAtItsCountWhateverTheLibrarySays) {
    visa.stream = std::string(1500, 'x');
    std::string reply;
    t.ReadBuf(reply, 0, retCount);
    EXPECT_EQ(reply.size(), 1024u);
    EXPECT_EQ(retCount, 1024u);
    EXPECT_EQ(visa.readRequests, (std::vector<unsigned>{1024}));
    // The read group runs at 1000 ms and hands back the relaxed timeout.
    ASSERT_EQ(visa.attributes.size(), 2u);
    EXPECT_EQ(visa.attributes[0].second, 1000u);
    EXPECT_EQ(visa.attributes[1].second, TRELVAN_TMO_RELAXED);

    ScriptedVisa maxCount;
    maxCount.install(t.visa);
    maxCount.reportMaxCount = true;
    maxCount.stream = std::string(1500, 'y');
    t.ReadBuf(reply, 0, retCount);
    EXPECT_EQ(reply, std::string(1024, 'y'));
    EXPECT_EQ(retCount, 1024u);
    EXPECT_EQ(t.status, VI_SUCCESS);
}

TEST_F(DirectIo, ReadCutShortByATimeoutIsToppedUpWithTheRemainderOnly) {
    visa.stream = "#3" "512";
    visa.chunks = {1, 1, 3};
    std::string header;
    t.ReadBuf(header, 2, retCount);
    EXPECT_EQ(header, "#3");
    EXPECT_EQ(visa.readRequests, (std::vector<unsigned>{2, 1}));
    EXPECT_EQ(visa.stream, "512");
}

TEST_F(DirectIo, NulBytesArriveAsBytes) {
    visa.stream = std::string("ab\0cd", 5);
    std::string reply;
    t.ReadBuf(reply, 5, retCount);
    EXPECT_EQ(reply, std::string("ab\0cd", 5));
}

TEST_F(DirectIo, ThreeEmptyTimeoutsEndARead) {
    std::string reply = "old";
    t.ReadBuf(reply, 16, retCount);
    EXPECT_TRUE(reply.empty());
    EXPECT_EQ(retCount, 0u);
    EXPECT_EQ(visa.readRequests.size(), 3u);
    EXPECT_EQ(t.status, VI_ERROR_TMO);
}

TEST_F(DirectIo, LostLinkEndsAReadAtOnceLeavingCountAndTimeout) {
    visa.whenDry = VI_ERROR_CONN_LOST;
    std::string reply;
    t.ReadBuf(reply, 16, retCount);
    EXPECT_EQ(retCount, 12345u);
    EXPECT_EQ(visa.readRequests.size(), 1u);
    ASSERT_EQ(visa.attributes.size(), 1u);
    EXPECT_EQ(visa.attributes[0].second, 1000u);

    std::vector<double> values{9.0};
    t.ReadBufFloat(values, 8, retCount);
    EXPECT_TRUE(values.empty());
    EXPECT_EQ(retCount, 12345u);
}

TEST_F(DirectIo, FloatReadersDecodeBothByteOrders) {
    visa.stream = std::string("\x3F\x80\x00\x00\x40\x00\x00\x00", 8);
    std::vector<double> values;
    t.ReadBufFloat(values, 8, retCount);
    EXPECT_EQ(values, (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(retCount, 2u);

    // Native order into samples: never past the end of the caller's vector.
    visa.stream = std::string("\x00\x00\x80\x3F\x00\x00\x00\xC0", 8) + std::string(16, '\0');
    QVector<IQ_Elem> samples(2, IQ_Elem{7, 7});
    int written = 1;
    t.ReadBufFloat(&samples, 24, written);
    EXPECT_EQ(written, 2);
    EXPECT_EQ(samples[0].I, 7.0);
    EXPECT_EQ(samples[1].I, 1.0);
    EXPECT_EQ(samples[1].Q, -2.0);
}

TEST_F(DirectIo, ReadComplexValueDecodesFixedPointAndDoubles) {
    const unsigned char max[] = {0xFF, 0x7F};
    EXPECT_EQ(t.ReadComplexValue(max, 0, 0, false, 2, 0), 32767.0);
    const unsigned char min[] = {0x00, 0x80};
    EXPECT_EQ(t.ReadComplexValue(min, 0, 0, true, 2, 1), -128.0);
    EXPECT_EQ(t.ReadComplexValue(min, 0, 0, false, 2, 0), 32768.0);
    const unsigned char block[] = {0xAA, 0x01, 0x00, 0x00, 0x80, 0x02, 0x00, 0x00, 0x00};
    EXPECT_EQ(t.ReadComplexValue(block, 1, 1, true, 4, 0), 2.0);
    EXPECT_EQ(t.ReadComplexValue(block, 1, 0, true, 4, 1), -2147483647.0 / 256);
    double stored = -1234.5678;
    unsigned char raw[8];
    std::memcpy(raw, &stored, 8);
    EXPECT_EQ(t.ReadComplexValue(raw, 0, 0, true, 8, 15), stored);
    EXPECT_EQ(t.ReadComplexValue(raw, 0, 0, true, 9, 0), 0.0);
}

TEST_F(DirectIo, OpcWaitsForOneAndIsBounded) {
    visa.replies = {"0\n", "+1\n"};
    EXPECT_EQ(t.OPC(), 1);
    EXPECT_EQ(visa.count("*OPC?\n"), 2);

    visa.repeatLast = true;
    visa.replyWhenEmpty = "garbage\n";
    EXPECT_EQ(t.OPC(), VI_ERROR_TMO);
    EXPECT_LE(visa.count("*OPC?\n"), 2 + trv::pxa::kMaxOpcQueries);

    visa.sent.clear();
    t.status = VI_ERROR_IO;
    EXPECT_EQ(t.OPC(), VI_ERROR_TMO);
    EXPECT_TRUE(visa.sent.empty());
}

TEST_F(DirectIo, CustomCommandTalksOnlyToAHealthyN9030A) {
    visa.replies = {"Keysight Technologies,N9030A,MY1,A.1\n"};
    EXPECT_EQ(t.CustomCommand("*IDN?\n", true), "Keysight Technologies,N9030A,MY1,A.1\n");
    EXPECT_EQ(visa.attributes.front().second, 1000u);
    EXPECT_EQ(visa.attributes.back().second, TRELVAN_TMO_RELAXED);
    EXPECT_EQ(t.CustomCommand(":INIT\n", false), "");
    EXPECT_EQ(visa.sent.back(), ":INIT\n");

    // A reply longer than the 128-byte buffer is cut, not overrun.
    visa.replies = {std::string(500, 'z')};
    EXPECT_EQ(t.CustomCommand("X?\n", true).size(), 127u);

    visa.sent.clear();
    t.isPXA = false;
    EXPECT_EQ(t.CustomCommand("*IDN?\n", true), "");
    t.isPXA = true;
    t.status = 1;
    EXPECT_EQ(t.CustomCommand("*IDN?\n", true), "");
    EXPECT_TRUE(visa.sent.empty());
}

TEST_F(DirectIo, GetErrorsReadsOneQueueEntry) {
    visa.replies = {"1\n", "-222,\"Data out of range\"\n", "1\n"};
    EXPECT_EQ(t.getErrors(0), "-222,\"Data out of range\"\n");
    EXPECT_EQ(visa.sent[1], ":SYSTem:ERRor:NEXT? \n");
}

}  // namespace
