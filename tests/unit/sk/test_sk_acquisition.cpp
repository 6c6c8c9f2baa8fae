// MI_RUN acquisition against a scripted instrument: block sizes and the window of pairs in flight,
// run statuses latched into the error record, empty replies, and the middle of the block delivered.
#include <gtest/gtest.h>

#include <memory>

#include "SkScriptedInstrument.h"
#include "backends/sk/SK.h"

using namespace sktest;

namespace {

using Block = std::vector<std::complex<double>>;

class SkAcquisition : public testing::Test {
protected:
    void SetUp() override {
        sk = std::make_unique<SK>();
        sk->visa = &visa;
        sk->status = &status;
        sk->session = &session;
        sk->resourceManager = &rm;
        sk->params = &params;
        sk->error = &error;
        sk->device = &device;
    }
    std::vector<std::vector<double>> clkSent() const {
        std::vector<std::vector<double>> out;
        for (const Sent& s : instrument.sent)
            if (s.pid == 50) out.push_back(s.values);
        return out;
    }
    // Acquires `requested` samples into a block of that size.
    Block acquire(unsigned requested, unsigned& received) {
        Block samples(requested);
        sk->GetSamples(&samples, requested, received);
        return samples;
    }

    DynamicVisa visa{nullptr};
    ScriptedInstrument instrument{visa};
    ViStatus status = 0;
    ViSession session = 7, rm = 6;
    Params params{1e9, 1.25e7, 0};
    Error error;
    DeviceData device;
    std::unique_ptr<SK> sk;
};

TEST_F(SkAcquisition, BlocksAreWholeFoursOfAtMost8188) {
    using V = std::vector<std::vector<double>>;
    const std::pair<unsigned, V> cases[] = {
        {10, {{0, 12, 1, 10}}},
        {8188, {{0, 8188, 1, 8188}}},
        {8189, {{0, 8188, 1, 8189}, {8188, 4, 1, 8189}}},
    };
    for (const auto& [requested, pairs] : cases) {
        instrument.sent.clear();
        unsigned sent = 0;
        sk->SendRunSequence(requested, 0, 0, &sent);
        EXPECT_EQ(clkSent(), pairs) << requested;
        EXPECT_EQ(instrument.sent.size(), 2 * pairs.size());
        EXPECT_EQ(instrument.sent.back().command, 6u);
        EXPECT_EQ(sent, requested == 10 ? 12 : requested == 8189 ? 8192 : requested);
    }
    EXPECT_EQ(sk->m_nRUNcounter, 4);
}

TEST_F(SkAcquisition, TwoHundredPairsInFlightThenTheRest) {
    unsigned received = 0;
    const Block samples = acquire(2000000, received);
    EXPECT_EQ(received, 2000000u);
    EXPECT_EQ(status, VI_SUCCESS);
    EXPECT_EQ(sk->m_nRUNcounter, 0);
    const auto clk = clkSent();
    ASSERT_EQ(clk.size(), 245u);
    EXPECT_EQ(clk[200], (std::vector<double>{1637600, 8188, 1, 2000000}));
    EXPECT_EQ(clk[244], (std::vector<double>{244 * 8188, 2128, 1, 2000000}));
    // The first 200 pairs leave before any reply is read, the next only once all 200 are in.
    EXPECT_EQ(instrument.sent[399].readBefore, 0u);
    const std::size_t pairReply = paramReply(3, 50, 0x40, {0, 0, 0, 0}).size() + 16 + 8 * 8188 + 2;
    EXPECT_EQ(instrument.sent[400].readBefore, 200 * pairReply);
    for (std::size_t i = 0; i < samples.size(); i += 997)
        ASSERT_EQ(samples[i], std::complex<double>(i, -1.0 * i));
    EXPECT_EQ(samples.back(), std::complex<double>(1999999, -1999999));
}

TEST_F(SkAcquisition, RunStatusesAreReportedAndErrorsLatched) {
    // A warning in the header is reported, and the samples kept.
    instrument.respond = [&](const Sent& s) {
        Bytes reply = instrument.standardReply(s);
        if (s.command == 6) reply[4] = 1;
        return reply;
    };
    unsigned received = 0;
    Block samples = acquire(8, received);
    EXPECT_EQ(error.code, 1);
    EXPECT_EQ(error.text, "Ошибка в заголовке команды, при выполнении MI_RUN");
    EXPECT_EQ(samples[7], std::complex<double>(7, -7));

    // A negative body status stops storing for the rest of that acquisition only.
    int runs = 0;
    instrument.respond = [&](const Sent& s) {
        if (s.command != 6) return instrument.standardReply(s);
        const int first = int(instrument.clk[0]);
        std::vector<std::pair<int32_t, int32_t>> iq(std::size_t(instrument.clk[1]), {first + 1, 0});
        return dataReply(iq, 0, ++runs == 1 ? -5 : 0);
    };
    samples = acquire(8189, received);
    EXPECT_EQ(error.code, -5);
    EXPECT_EQ(error.text, "Ошибка в теле команды, при выполнении MI_RUN");
    EXPECT_EQ(samples[0], 0.0);
    EXPECT_EQ(samples[8188], 0.0);
    EXPECT_EQ(acquire(8, received)[0], 1.0);

    // An error in the header holds for the rest of the session.
    bool spoil = true;
    instrument.respond = [&](const Sent& s) {
        Bytes reply = instrument.standardReply(s);
        if (s.command == 6 && spoil) spoil = false, reply[4] = char(0x06), reply[5] = char(0x50);  // 20486
        return reply;
    };
    EXPECT_EQ(acquire(8, received)[7], 0.0);
    EXPECT_EQ(error.code, 20486);
    EXPECT_TRUE(sk->CheckLastCmdStatus());
    EXPECT_EQ(acquire(8, received)[7], 0.0);
    EXPECT_EQ(received, 8u);
}

TEST_F(SkAcquisition, AReplyWithoutSamplesEmptiesTheBlockAndTheStreamStaysInStep) {
    bool empty = true;
    instrument.respond = [&](const Sent& s) {
        if (s.command == 6 && empty) return empty = false, dataReply({});
        return instrument.standardReply(s);
    };
    unsigned received = 12345;
    Block samples = acquire(3 * 8188, received);
    EXPECT_TRUE(samples.empty());
    EXPECT_EQ(received, 12345u);
    EXPECT_EQ(error.code, 404);
    EXPECT_EQ(error.text, "Ошибка чтения оцифрованных данных");
    EXPECT_EQ(status, VI_SUCCESS);
    EXPECT_EQ(sk->m_nRUNcounter, 0);
    samples = acquire(8, received);
    EXPECT_EQ(samples[5], std::complex<double>(5, -5));
}

TEST_F(SkAcquisition, TheHostGetsTheMiddleOfTheBlock) {
    // A flat table wider than the band: the processed block is the acquired ramp, scaled and trimmed.
    sk->m_responseFrequencies = {0, 1e10};
    sk->m_responseAmplitudes = {0, 0};
    sk->m_numPoints = 90;
    QVector<IQ_Elem> out;
    for (auto [blockPoints, first] : {std::pair<int, double>{110, 19}, {111, 19}, {64, -1}}) {
        sk->m_blockPoints = blockPoints;
        sk->getData(&out);
        if (first < 0) {
            EXPECT_TRUE(out.isEmpty());
            continue;
        }
        ASSERT_EQ(out.size(), 90);
        const double step = out[1].I - out[0].I;
        EXPECT_NEAR(out[0].I / step, first, 1e-6);
        EXPECT_NEAR((out[89].I - out[0].I) / step, 89, 1e-6);
        EXPECT_NEAR(out[89].Q, -out[89].I, 1e-9);
    }
    EXPECT_EQ(clkSent().back(), (std::vector<double>{0, 64, 1, 64}));

    // A failed exchange leaves the host's vector empty.
    instrument.respond = [](const Sent&) { return Bytes(); };
    sk->m_blockPoints = 110;
    sk->getData(&out);
    EXPECT_TRUE(out.isEmpty());
    EXPECT_EQ(status, VI_ERROR_TMO);
}

}  // namespace
