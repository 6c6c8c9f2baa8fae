// Capture blocks, their reads, recovery from bad blocks and timeouts, and the error queue.
#include "PxaFixture.h"

namespace {

// n samples {k, -k/2}, so every element tells where it came from.
std::vector<float> ramp(int n) {
    std::vector<float> v;
    for (int k = 0; k < n; ++k) {
        v.push_back(static_cast<float>(k));
        v.push_back(-0.5f * k);
    }
    return v;
}

void expectRamp(const QVector<IQ_Elem>& samples, int filled) {
    for (int k = 0; k < samples.size(); ++k) {
        const double i = k < filled ? k : 0.0;
        ASSERT_EQ(samples[k].I, i) << k;
        ASSERT_EQ(samples[k].Q, -0.5 * i) << k;
    }
}

const char* const kNextReply = "+0,\"No error\"\n";

}  // namespace

TEST_F(PxaTest, BlocksAreReadInExactPiecesAndNothingBeyondThem) {
    auto pxa = connect();
    struct Case {
        int bytes;
        std::vector<ViUInt32> reads;
    };
    for (const Case& c :
         {Case{1000, {2, 4, 1000, 1}}, Case{1024, {2, 4, 1024, 1}}, Case{2056, {2, 4, 1024, 1024, 8, 1}}}) {
        fake.readCounts.clear();
        fake.sent.clear();
        fake.pending = definiteBlock(swappedFloats(ramp(c.bytes / 8))) + kNextReply;
        QVector<IQ_Elem> samples(3, IQ_Elem{9, 9});
        pxa->getData(&samples);
        EXPECT_EQ(fake.readCounts, c.reads) << c.bytes;
        ASSERT_EQ(samples.size(), c.bytes / 8);
        expectRamp(samples, c.bytes / 8);
        EXPECT_EQ(fake.pending, kNextReply);
        EXPECT_EQ(status, VI_SUCCESS);
        EXPECT_EQ(sentWithoutOpc(),
                  (std::vector<std::string>{":FORMat:TRACe:DATA REAL\n", ":FORMat:BORDer SWAP\n",
                                            ":CALCulate:VECTor:DATA2:RAW?\n"}));
        EXPECT_EQ(fake.timeouts.back(), TRELVAN_TMO_RELAXED);
    }
}

TEST_F(PxaTest, DataArrivesLeastSignificantByteFirstEvenWhenDrippedAcrossReads) {
    auto pxa = connect();
    const unsigned char pair[] = {0x00, 0x00, 0x80, 0x3F, 0x00, 0x00, 0x00, 0xC0};
    const std::string data =
        std::string(reinterpret_cast<const char*>(pair), 8) + swappedFloats(ramp(300)).substr(8);
    fake.pending = definiteBlock(data) + kNextReply;
    fake.chunk = 3;  // every read times out after three bytes, so pairs split between reads
    QVector<IQ_Elem> samples;
    pxa->getData(&samples);
    ASSERT_EQ(samples.size(), 300);
    EXPECT_EQ(samples[0].I, 1.0);
    EXPECT_EQ(samples[0].Q, -2.0);
    EXPECT_EQ(samples[299].I, 299.0);
    EXPECT_EQ(samples[299].Q, -149.5);
    EXPECT_EQ(fake.pending, kNextReply);
    EXPECT_EQ(status, VI_SUCCESS);
}

TEST_F(PxaTest, AHeaderThatCannotStartABlockEndsTheCaptureAndTheNextOneStartsClean) {
    auto pxa = connect();
    const std::string data = swappedFloats(ramp(100));
    for (const std::string& header : {std::string("#A"), std::string("#0"), std::string("X3800"),
                                      std::string("#38x0"), std::string("#4-800"),
                                      // One digit too few: the length is read short, the line end is missing.
                                      std::string("#2800")}) {
        fake.pending = header + data + "\n";
        fake.timeouts.clear();
        QVector<IQ_Elem> samples;
        pxa->getData(&samples);
        EXPECT_TRUE(samples.isEmpty()) << header;
        EXPECT_TRUE(fake.pending.empty()) << header;
        EXPECT_EQ(status, VI_SUCCESS) << header;
        EXPECT_TRUE(fake.sessionCalls.empty()) << header;
        EXPECT_EQ(fake.timeouts.back(), TRELVAN_TMO_RELAXED);

        fake.pending = definiteBlock(data);
        pxa->getData(&samples);
        ASSERT_EQ(samples.size(), 100) << header;
        expectRamp(samples, 100);
    }
}

TEST_F(PxaTest, ATimeoutInsideTheDataKeepsWhatArrivedAndReopensTheSession) {
    auto pxa = connect();
    fake.pending = definiteBlock(swappedFloats(ramp(257))).substr(0, 6 + 500);
    QVector<IQ_Elem> samples;
    pxa->getData(&samples);
    ASSERT_EQ(samples.size(), 257);
    expectRamp(samples, 62);  // 500 bytes: 62 whole pairs
    // Three empty timeouts end the piece; no further pieces, no line end.
    EXPECT_LE(fake.readCounts.size(), 7u);
    EXPECT_EQ(fake.sessionCalls, (std::vector<std::string>{"close 7", "close 3", "openRM",
                                                           std::string("open ") + kResource + " 1 5000"}));
    EXPECT_EQ(status, VI_SUCCESS);
    EXPECT_EQ(resourceManager, 100u);
    EXPECT_EQ(session, 101u);

    // The re-opened session captures again.
    fake.pending = definiteBlock(swappedFloats(ramp(4)));
    pxa->getData(&samples);
    ASSERT_EQ(samples.size(), 4);
    expectRamp(samples, 4);
}

TEST_F(PxaTest, AStatusErrorOnEntryOnlyReopensAfterATimeoutAndSendsNothing) {
    auto pxa = connect();
    QVector<IQ_Elem> samples(5);
    status = VI_ERROR_TMO;
    fake.openStatus = VI_ERROR_RSRC_NFOUND;
    pxa->getData(&samples);
    EXPECT_TRUE(samples.isEmpty());
    EXPECT_TRUE(fake.sent.empty());
    EXPECT_EQ(fake.sessionCalls.size(), 4u);
    EXPECT_EQ(status, VI_ERROR_RSRC_NFOUND);

    fake.sessionCalls.clear();
    samples.resize(5);
    pxa->getData(&samples);
    EXPECT_TRUE(samples.isEmpty());
    EXPECT_TRUE(fake.sent.empty());
    EXPECT_TRUE(fake.sessionCalls.empty());
}

TEST_F(PxaTest, AVisaThatReportsFilledReadsAsMaxCountStillGetsExactReads) {
    auto pxa = connect();
    fake.fullStatus = VI_SUCCESS_MAX_CNT;
    fake.pending = definiteBlock(swappedFloats(ramp(125))) + kNextReply;
    QVector<IQ_Elem> samples;
    pxa->getData(&samples);
    EXPECT_EQ(fake.readCounts, (std::vector<ViUInt32>{2, 4, 1000, 1}));
    EXPECT_EQ(status, VI_SUCCESS);
    ASSERT_EQ(samples.size(), 125);
    expectRamp(samples, 125);
}

TEST_F(PxaTest, ErrorQueueIsReadUntilItsClosingEntryAfterThePendingError) {
    auto pxa = connect();
    std::vector<std::string> queue = {"-113,\"Undefined header\"\n", "garbage\n", "+0,\"No error\"\n"};
    std::size_t next = 0;
    fake.answer = [&](const std::string& q) {
        if (q == "*OPC?\n") return std::string("1\n");
        EXPECT_EQ(q, ":SYSTem:ERRor:NEXT? \n");
        return next < queue.size() ? queue[next++] : std::string("+0,\"No error\"\n");
    };
    error = Error{101, "Parameters was modified"};
    const QVector<Error> list = pxa->getErr();
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list[0].code, 101);
    EXPECT_EQ(list[1].code, -113);
    EXPECT_EQ(list[1].text, "\"Undefined header\"\n");
    // A reply that does not parse repeats the entry before it.
    EXPECT_EQ(list[2].code, -113);
    EXPECT_EQ(list[3].code, 0);
    EXPECT_EQ(list[3].text, "\"No error\"\n");
    EXPECT_EQ(error.code, 101);
    for (const auto& format : fake.readFormats)
        EXPECT_TRUE(format == "%127T" || format == "%1023T") << format;
}

TEST_F(PxaTest, ErrorQueueReadsEndOnAFailedQueryOrABadStatus) {
    auto pxa = connect();
    fake.queryStatus = VI_ERROR_TMO;
    QVector<Error> list = pxa->getErr();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].code, 100);
    EXPECT_EQ(list[0].text, "Visa Timeout");

    fake.sent.clear();
    error = Error{102, "Possible incorrect number of pts"};
    list = pxa->getErr();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].code, 102);
    EXPECT_EQ(list[1].code, 100);
    EXPECT_TRUE(fake.sent.empty());
}
