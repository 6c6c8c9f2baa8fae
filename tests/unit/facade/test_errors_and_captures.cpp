// The host's error list and the facade's own N9030A captures, against a scripted VISA.
#include <gtest/gtest.h>

#include <cstring>

#include "ScriptedVisa.h"
#include "facade/Trelvan.h"

namespace {


std::string bigEndianFloats(std::initializer_list<float> values) {
    std::string bytes;
    for (float v : values) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>((bits >> shift) & 0xFF);
    }
    return bytes;
}

class FacadeN9030A : public ::testing::Test {
protected:
    void SetUp() override {
        visa.install(t.visa);
        t.status = 0;
        t.session = 5;
        t.resourceManager = 4;
        t.isPXA = true;
        std::strcpy(t.device.address, "TCPIP0::127.0.0.1::5025::SOCKET");
        // Every "*OPC?" answers 1 unless a test scripts otherwise.
        visa.repeatLast = true;
        visa.replyWhenEmpty = "1\n";
    }
    // Replies for the queries between OPC waits: each exchange is "*OPC?", the query, "*OPC?".
    void queue(std::initializer_list<std::string> answers) {
        for (const std::string& a : answers) {
            visa.replies.push_back("1\n");
            visa.replies.push_back(a);
            visa.replies.push_back("1\n");
        }
    }
    Trelvan t;
    ScriptedVisa visa;
};

TEST_F(FacadeN9030A, ErrorListCarriesPendingErrorThenTheQueueInOrder) {
    t.error = Error{101, "Parameters was modified"};
    queue({"-113,\"Undefined header\"\n", "-222,\"Data out of range\"\n", "+0,\"No error\"\n"});
    const QVector<Error> list = t.getError();
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list[0].code, 101);
    EXPECT_EQ(list[1].code, -113);
    EXPECT_EQ(list[1].text, QStringLiteral("\"Undefined header\"\n"));
    EXPECT_EQ(list[2].code, -222);
    EXPECT_EQ(list[3].code, 0);
    // The pending record is reported again next time.
    EXPECT_EQ(t.error.code, 101);
}

TEST_F(FacadeN9030A, ErrorListEndsOnFailureAndOnAQueueThatNeverEmpties) {
    t.status = VI_ERROR_TMO;
    QVector<Error> list = t.getError();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].code, 100);
    EXPECT_EQ(list[0].text, QStringLiteral("Visa Timeout"));
    EXPECT_TRUE(visa.sent.empty());

    t.status = 0;
    visa.replyWhenEmpty = "-350,\"Queue overflow\"\n";
    list = t.getError();
    EXPECT_GT(list.size(), 1);
    EXPECT_LE(list.size(), 100);

    // A reply that does not parse repeats the entry before it; a query that fails ends the read.
    visa.repeatLast = false;
    queue({"-113,\"Undefined header\"\n", "garbage"});
    list = t.getError();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[1].code, -113);
    EXPECT_EQ(list[2].code, 100);
}

TEST_F(FacadeN9030A, ErrorListForOtherInstrumentsIsThePendingRecordOnly) {
    t.isPXA = false;
    EXPECT_TRUE(t.getError().isEmpty());
    t.error = Error{404, "x"};
    ASSERT_EQ(t.getError().size(), 1);
    EXPECT_TRUE(visa.sent.empty());
}

TEST_F(FacadeN9030A, BinaryCapturePairsTheBlocksFloats) {
    queue({"1\n"});
    visa.stream = "#18" + bigEndianFloats({1.5f, -2.0f}) + "\n";
    const auto samples = t.getData(0.0);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0], std::complex<double>(1.5, -2.0));
    EXPECT_TRUE(visa.stream.empty());
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(visa.count(":FORMat:TRACe:DATA REAL\n"), 1);

    visa.stream = "#14" + bigEndianFloats({3.0f}) + "\n";
    EXPECT_TRUE(t.getData(0.0).empty());
}

TEST_F(FacadeN9030A, BinaryCaptureReadsLongBlocksInExactPieces) {
    std::string data;
    for (int i = 0; i < 300; ++i) data += bigEndianFloats({static_cast<float>(i)});
    visa.stream = "#41200" + data + "\n";
    const auto samples = t.getData(0.0);
    ASSERT_EQ(samples.size(), 150u);
    EXPECT_EQ(samples[149], std::complex<double>(298, 299));
    EXPECT_TRUE(visa.stream.empty());
}

TEST_F(FacadeN9030A, BinaryCaptureRefusesBlocksItCannotRead) {
    for (const std::string header : {"#0", "#A2147483647", "#3x12", "#9-12345678", "#a1234"}) {
        visa.stream = header + std::string(64, 'q');
        EXPECT_TRUE(t.getData(0.0).empty()) << header;
        EXPECT_TRUE(visa.stream.empty()) << "pending bytes were not discarded after " << header;
        t.status = 0;
    }
}

TEST_F(FacadeN9030A, BinaryCaptureCutByATimeoutReopensAndKeepsZeros) {
    visa.stream = "#216" + bigEndianFloats({1, 2}) + std::string(2, '\0');
    const auto samples = t.getData(0.0);
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0], std::complex<double>(1, 2));
    EXPECT_EQ(samples[1], std::complex<double>(0, 0));
    EXPECT_EQ(visa.opens, 1);
    EXPECT_EQ(t.status, 0);
    EXPECT_EQ(t.session, 78u);
}

TEST_F(FacadeN9030A, AsciiCaptureSkipsPairsThatDoNotParse) {
    queue({"2\n"});
    visa.stream = "1.5,-2,abc,3,4\n";
    const auto samples = t.getData(0);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0], std::complex<double>(1.5, -2.0));
    EXPECT_EQ(visa.count(":CALCulate:VECTor:DATA2:RAW?\n"), 1);
}

TEST_F(FacadeN9030A, CapturesOnOtherInstrumentsOnlyRepairATimeout) {
    t.isPXA = false;
    EXPECT_TRUE(t.getData(0).empty());
    EXPECT_EQ(visa.opens, 0);
    t.status = VI_ERROR_TMO;
    EXPECT_TRUE(t.getData(0.0).empty());
    EXPECT_EQ(visa.opens, 1);
    EXPECT_TRUE(visa.sent.empty());
}

}  // namespace
