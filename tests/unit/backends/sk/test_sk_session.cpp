// An SK session against a scripted instrument: the start-up exchange and the limits it learns, the
// configuration and what the instrument corrects, and acquisitions: the window of request pairs in
// flight, run statuses, sample widths and the middle of the block handed to the host.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <tuple>

#include "backends/sk/Sk.h"
#include "support/LogCapture.h"
#include "support/SkScripted.h"

namespace {

using namespace support::sk;
using Block = std::vector<std::complex<double>>;

// One request as "command parameter lenFrac: values", the lenFrac in hexadecimal.
std::string describe(const Message& m) {
    std::ostringstream out;
    out << m.command << " " << m.pid << " " << std::hex << m.lenFrac << std::dec
        << (m.values.empty() ? "" : ":");
    for (double v : m.values) out << " " << v;
    return out.str();
}

class SkSession : public testing::Test {
protected:
    void SetUp() override {
        r.params = Params{1e9, 1.25e7, 0};
        sk = support::skWithoutStartUp(r);
    }

    support::Records r;
    support::SkScripted instrument{r.visa};
    std::unique_ptr<SK> sk;
};

TEST_F(SkSession, StartUpSendsTheSequenceAndLearnsTheClampedLimits) {
    double ifBandwidth = 0;
    instrument.respond = [&](const Message& m) {
        std::vector<double> v = m.values;
        if (m.pid == 56 && m.command == 3) v[0] = std::clamp(v[0], 9e3, 26.5e9);
        if (m.pid == 88) v[0] = std::clamp(v[0], -50.5, 30.75);
        if (m.pid == 66) ifBandwidth = v[0];
        if (m.pid == 101) return parameter(4, 101, 0x40, {ifBandwidth * 2, 2});
        return m.command == 3 ? parameter(3, unsigned(m.pid), m.lenFrac, v) : instrument.standardReply(m);
    };
    sk = std::make_unique<SK>(r.init(), SkSettleTimes{0, 0});
    EXPECT_EQ(r.status, VI_SUCCESS);
    // Every request of the start-up, in order.
    const std::string expected =
        "1 -1 0; 3 3 20: 17; 3 56 60: 2e+09 1 0; 3 66 40: 100000; 4 101 40; 3 69 40: 2e+09; 4 105 60; "
        "4 106 42; 3 56 60: 1e+12 1 0; 3 56 60: 0 1 0; 3 66 40: 1e+07; 4 101 40; 3 66 40: 100000; 4 101 40; "
        "3 88 42: 100 0 1; 3 88 42: -100 0 1; 3 50 40: 0 8188 1 256; 3 116 20: 2; 3 116 20: 1";
    std::string sent;
    for (std::size_t i = 0; i < instrument.sent.size(); ++i) {
        sent += (i > 0 ? "; " : "") + describe(instrument.sent[i]);
        EXPECT_EQ(instrument.sent[i].sequence, i + 1);
        EXPECT_EQ(instrument.sent[i].status, -32768);
    }
    EXPECT_EQ(sent, expected);
    // The four filter/rate requests of the limits query leave before any of their replies is read.
    EXPECT_EQ(instrument.sent[10].readBefore, instrument.sent[13].readBefore);
    // The sample rates are value 0 of their replies, not divided; the levels truncated.
    const Params lo = sk->getParams(MIN), hi = sk->getParams(MAX);
    EXPECT_EQ(std::tie(lo.frequency, lo.sampleRate, lo.refLevel), std::make_tuple(9e3, 2e5, -50));
    EXPECT_EQ(std::tie(hi.frequency, hi.sampleRate, hi.refLevel), std::make_tuple(26.5e9, 2e7, 30));
    // 100 points over a 10 MHz response at 12.5 MHz: twice the points with 20 % margin, 256 in all; the
    // kept 7.5 MHz rounded up to whole bins of 48828.125 Hz.
    EXPECT_EQ(sk->getCurSampleRate(), 154 * 48828.125);
    EXPECT_EQ(r.error.code, 0);
}

TEST_F(SkSession, TheFilterFollowsTheNearestRateAndCorrectionsComeBack) {
    const std::pair<double, double> filters[] = {{975000, 1e5}, {976000, 3e5}, {1e7, 3e6}, {0, 1e5}};
    for (auto [rate, filter] : filters) {
        instrument.sent.clear();
        instrument.sampleRate = rate;
        Params p{1.5e9, rate, -20};
        sk->setParams(p);
        ASSERT_EQ(instrument.sentWith(66).size(), 1u) << rate;
        EXPECT_EQ(instrument.sentWith(66)[0].values[0], filter) << rate;
        EXPECT_EQ(p.sampleRate, rate);
    }
    EXPECT_EQ(r.error.code, 0);  // echoed settings are no correction

    instrument.respond = [&](const Message& m) {
        if (m.pid == 56) return parameter(3, 56, 0x60, {2e9, 1, 0});
        if (m.pid == 88) return parameter(3, 88, 0x42, {-10.5, 0, 1});
        if (m.pid == 101) return parameter(4, 101, 0x40, {12500000, 2});
        return instrument.standardReply(m);
    };
    Params p{1.5e9, 4.5e6, -80};
    sk->setParams(p);
    EXPECT_EQ(std::tie(p.frequency, p.sampleRate, p.refLevel), std::make_tuple(2e9, 6.25e6, -10));
    EXPECT_EQ(r.error.code, 101);
    EXPECT_EQ(r.error.text, "Parameters was modified");
    EXPECT_EQ(r.params.sampleRate, 6.25e6);
}

TEST_F(SkSession, PointCountsAndTablesTheInstrumentDoesNotConfirm) {
    instrument.respond = [&](const Message& m) {
        return m.pid == 50 ? parameter(3, 51, 0x40, {0, 8000, 1, 512}) : instrument.standardReply(m);
    };
    sk->GetNewAFC(&sk->m_responseFrequencies, &sk->m_responseAmplitudes);
    support::LogCapture log;
    sk->setNumPoints(100);
    EXPECT_EQ(log.lines(), QStringList{"ASSERT: \"PID == P_CLK\" in file ..\\trelvan\\sk, line 207"});
    EXPECT_EQ(r.error.code, 102);
    EXPECT_EQ(r.error.text, "Possible incorrect number of pts");
    EXPECT_EQ(sk->getCurSampleRate(), 308 * (1.25e7 / 512));

    // A table with no width serves no acquisition: said so, and nothing claims a deliverable block.
    instrument.respond = [&](const Message& m) { return instrument.standardReply(m); };
    for (const auto& table : {std::vector<double>{}, {1e9}, {1e9, 1e9}}) {
        instrument.tableHz = table;
        instrument.tableDb.assign(table.size(), 0.0);
        sk->GetNewAFC(&sk->m_responseFrequencies, &sk->m_responseAmplitudes);
        r.error = Error{};
        sk->setNumPoints(400);
        EXPECT_EQ(r.error.code, 103) << table.size();
        EXPECT_EQ(sk->getCurSampleRate(), 0.0);
        EXPECT_EQ(sk->getNPts(CUR), 0);
        EXPECT_EQ(sk->getParams(MAX).sampleRate, 0.0);
        const std::size_t sent = instrument.sent.size();
        QVector<IQ_Elem> iq;
        sk->getData(&iq);
        EXPECT_TRUE(iq.isEmpty());
        EXPECT_EQ(instrument.sent.size(), sent) << "an acquisition was started";
    }
    EXPECT_EQ(r.status, VI_SUCCESS);
}

TEST_F(SkSession, TwoHundredPairsFlyAndTheRestFollowOnceAllAreIn) {
    // 200 pairs leave before any reply is read; the rest only once all 200 are in.
    const unsigned requested = 200 * 8188 + 8;
    Block samples(requested);
    unsigned received = 0;
    sk->GetSamples(&samples, requested, received);
    EXPECT_EQ(received, requested);
    ASSERT_EQ(instrument.sent.size(), 402u);
    EXPECT_EQ(instrument.sent[399].readBefore, 0u);
    const std::size_t pairReplies =
        parameter(3, 50, 0x40, {0, 0, 0, 0}).size() + dataReply({}).size() + 8 * 8188;
    EXPECT_EQ(instrument.sent[400].readBefore, 200 * pairReplies);
    EXPECT_EQ(instrument.sentWith(50)[200].values, (std::vector<double>{200 * 8188, 8, 1, requested}));
    for (std::size_t i = 0; i < samples.size(); i += 997)
        ASSERT_EQ(samples[i], std::complex<double>(i, -1.0 * i));
    EXPECT_EQ(samples.back(), std::complex<double>(requested - 1, 1.0 - requested));
}

TEST_F(SkSession, SamplesOfEveryWidthAWarningThatKeepsThemAndTheErrorsTheLastRunCheckReports) {
    // {bytes per value, values per sample, I and Q on the wire, I and Q read}; narrow values are not
    // sign-extended, and values past Q are skipped.
    struct Case {
        unsigned len;
        std::vector<int64_t> wire;
        double i, q;
    };
    const Case cases[] = {{2, {-1, 300}, 65535, 300},
                          {3, {0x123456, -2}, 0x123456, 0xFFFFFE},
                          {4, {70000, -70000, 5}, 70000, -70000},
                          {4, {-2147483648LL, 2147483647}, -2147483648.0, 2147483647}};
    for (const Case& c : cases) {
        instrument.respond = [&](const Message& m) {
            if (m.command != 6) return instrument.standardReply(m);
            return dataReply(std::vector<std::vector<int64_t>>(4, c.wire), c.len, 1);
        };
        Block samples(4);
        unsigned received = 0;
        sk->GetSamples(&samples, 4, received);
        EXPECT_EQ(samples[3], std::complex<double>(c.i, c.q)) << c.len << " bytes, " << c.wire.size();
    }
    EXPECT_EQ(r.error.code, 1);  // header status 1: a warning, reported, the samples kept
    EXPECT_EQ(r.error.text, "Ошибка в заголовке команды, при выполнении MI_RUN");
    EXPECT_FALSE(sk->CheckLastCmdStatus());
    // From SE_READ_TIMEOUT (20486) on, and below 0, a header status is an error.
    for (const int status : {20486, -1}) {
        sk = support::skWithoutStartUp(r);
        instrument.respond = [&](const Message& m) {
            return m.command == 6 ? dataReply({{1, 2}}, 4, status) : instrument.standardReply(m);
        };
        Block samples(1);
        unsigned received = 0;
        sk->GetSamples(&samples, 1, received);
        EXPECT_TRUE(sk->CheckLastCmdStatus()) << status;
    }
}

TEST_F(SkSession, TheHostGetsTheMiddleOfTheBlock) {
    // A flat table wider than the band keeps every bin: 128 raw samples come back as the acquired ramp,
    // scaled, from sample 7 to 120.
    sk->m_responseFrequencies = {0, 1e10};
    sk->m_responseAmplitudes = {0, 0};
    sk->m_blockPoints = 110;
    QVector<IQ_Elem> out;
    for (auto [points, first] : {std::pair<int, double>{104, 7}, {103, 12}, {90, 19}}) {
        sk->m_numPoints = points;
        sk->getData(&out);
        ASSERT_EQ(out.size(), points);
        const double step = out[1].I - out[0].I;
        EXPECT_NEAR(out[0].I / step, first, 1e-6) << points;
        EXPECT_NEAR(out[points - 1].Q, -out[points - 1].I, 1e-9);
    }
    EXPECT_EQ(instrument.sentWith(50).back().values, (std::vector<double>{0, 112, 1, 110}));
    sk->m_numPoints = 115;  // more than the 114 the block holds: nothing
    sk->getData(&out);
    EXPECT_TRUE(out.isEmpty());
}

}  // namespace
