// Session set-up and configuration of SK against a scripted instrument: the limits, the IF filter
// chosen for a rate, corrections and point counts the instrument does not confirm, and the block size
// and sample rate derived from the response table.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "SkScriptedInstrument.h"
#include "backends/sk/SK.h"

using namespace sktest;

namespace {

class SkSetup : public testing::Test {
protected:
    // The configuration steps alone, on an object that has skipped the start-up exchange.
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
    std::vector<Sent> sentWith(int pid) const {
        std::vector<Sent> out;
        for (const Sent& s : instrument.sent)
            if (s.pid == pid) out.push_back(s);
        return out;
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

TEST_F(SkSetup, StartUpLearnsTheClampedLimitsAndDerivesTheBlock) {
    double lastIfBandwidth = 0;
    instrument.respond = [&](const Sent& s) {
        std::vector<double> v = s.values;
        if (s.pid == 56 && s.command == 3) v[0] = std::clamp(v[0], 9e3, 26.5e9);
        if (s.pid == 88) v[0] = std::clamp(v[0], -50.5, 30.75);
        if (s.pid == 66) lastIfBandwidth = v[0];
        if (s.pid == 101) return paramReply(4, 101, 0x40, {lastIfBandwidth * 2, 2});
        return s.command == 3 ? paramReply(3, s.pid, s.lenFrac, v) : instrument.standardReply(s);
    };
    sk.reset();
    sk = std::make_unique<SK>(Init{&visa, &status, &session, &rm, &params, &error, &device},
                              SkSettleTimes{0, 0});
    EXPECT_EQ(status, VI_SUCCESS);
    const Params lo = sk->getParams(MIN), hi = sk->getParams(MAX);
    EXPECT_EQ(lo.frequency, 9e3);
    EXPECT_EQ(hi.frequency, 26.5e9);
    EXPECT_EQ(lo.sampleRate, 2e5);  // value 0 of the reply, not divided
    EXPECT_EQ(hi.sampleRate, 2e7);
    EXPECT_EQ(lo.refLevel, -50);
    EXPECT_EQ(hi.refLevel, 30);

    // The four filter/rate requests of the limits query go out before any of their replies is read.
    const auto filters = sentWith(66);
    ASSERT_EQ(filters.size(), 3u);
    EXPECT_EQ(filters[1].values, std::vector<double>{1e7});
    EXPECT_EQ(filters[2].values, std::vector<double>{1e5});
    EXPECT_EQ(filters[1].readBefore, filters[2].readBefore);
    EXPECT_EQ(sentWith(101).back().readBefore, filters[1].readBefore);

    // 100 points over a 10 MHz response span at 12.5 MHz: twice the points, 20 % margin, 256 in all;
    // the kept 7.5 MHz rounded up to whole bins of 48828.125 Hz.
    EXPECT_EQ(sk->m_blockPoints, 256);
    EXPECT_EQ(sentWith(50).back().values, (std::vector<double>{0, 8188, 1, 256}));
    EXPECT_EQ(sk->getCurSampleRate(), 154 * 48828.125);
    EXPECT_EQ(sk->getNPts(CUR), 100);
    EXPECT_EQ(error.code, 0);
}

TEST_F(SkSetup, TheFilterFollowsTheNearestRateThresholdAndTiesKeepTheNarrower) {
    const std::pair<double, double> cases[] = {
        {975000, 1e5}, {976000, 3e5}, {1e7, 3e6}, {0, 1e5}, {2e9, 1e5}};
    for (auto [rate, filter] : cases) {
        instrument.sent.clear();
        instrument.sampleRate = rate;
        Params p{1.5e9, rate, -20};
        sk->setParams(p);
        ASSERT_EQ(sentWith(66).size(), 1u) << rate;
        EXPECT_EQ(sentWith(66)[0].values[0], filter) << rate;
        EXPECT_EQ(p.frequency, 1.5e9);
        EXPECT_EQ(p.sampleRate, rate);
        EXPECT_EQ(p.refLevel, -20);
    }
    EXPECT_EQ(sentWith(88)[0].values, (std::vector<double>{-20, 0, 1}));
    EXPECT_EQ(sentWith(88)[0].lenFrac, 0x42u);
    EXPECT_EQ(error.code, 0);  // echoed settings are no correction
    EXPECT_EQ(params.frequency, 1.5e9);
}

TEST_F(SkSetup, CorrectionsAreWrittenBackAndReported) {
    instrument.respond = [&](const Sent& s) {
        if (s.pid == 56) return paramReply(3, 56, 0x60, {2e9, 1, 0});
        if (s.pid == 88) return paramReply(3, 88, 0x42, {-10.5, 0, 1});
        if (s.pid == 101) return paramReply(4, 101, 0x40, {12500000, 2});
        return instrument.standardReply(s);
    };
    Params p{1.5e9, 4.5e6, -80};
    sk->setParams(p);
    EXPECT_EQ(p.frequency, 2e9);
    EXPECT_EQ(p.refLevel, -10);
    EXPECT_EQ(p.sampleRate, 6.25e6);
    EXPECT_EQ(error.code, 101);
    EXPECT_EQ(error.text, "Parameters was modified");
    EXPECT_EQ(params.sampleRate, 6.25e6);
    EXPECT_EQ(sentWith(105).size(), 1u);  // the table is reloaded for the new tuning

    // A filter the instrument replaced is reported but changes nothing in p.
    error = Error{};
    instrument.respond = [&](const Sent& s) {
        return s.pid == 66 ? paramReply(3, 66, 0x40, {1e7}) : instrument.standardReply(s);
    };
    instrument.sampleRate = 6.25e6;
    sk->setParams(p);
    EXPECT_EQ(error.code, 101);
    EXPECT_EQ(p.sampleRate, 6.25e6);

    // Replies that stop coming end the operation where it stands.
    bool silent = false;
    instrument.respond = [&](const Sent& s) {
        silent = silent || s.pid == 88;
        if (silent) return Bytes();
        return s.pid == 56 ? paramReply(3, 56, 0x60, {3e9, 1, 0}) : instrument.standardReply(s);
    };
    sk->setParams(p);
    EXPECT_EQ(status, VI_ERROR_TMO);
    EXPECT_EQ(p.frequency, 3e9);
    EXPECT_EQ(params.frequency, 2e9);
}

TEST_F(SkSetup, PointCountsTheInstrumentDoesNotConfirm) {
    // The reply names another parameter: reported, and used all the same.
    instrument.respond = [&](const Sent& s) {
        return s.pid == 50 ? paramReply(3, 51, 0x40, {0, 8000, 1, 512}) : instrument.standardReply(s);
    };
    sk->GetNewAFC(&sk->m_responseFrequencies, &sk->m_responseAmplitudes);
    LogCapture log;
    sk->setNumPoints(100);
    EXPECT_EQ(LogCapture::lines(), QStringList{"ASSERT: \"PID == P_CLK\" in file ..\\trelvan\\sk, line 207"});
    EXPECT_EQ(error.code, 102);
    EXPECT_EQ(error.text, "Possible incorrect number of pts");
    EXPECT_EQ(sk->m_blockPoints, 512);
    EXPECT_EQ(sk->getCurSampleRate(), 308 * (1.25e7 / 512));

    // No points, no block; and no exchange at all while the status word holds a failure.
    instrument.respond = [&](const Sent& s) { return instrument.standardReply(s); };
    sk->setNumPoints(0);
    EXPECT_EQ(sk->m_blockPoints, 0);
    status = VI_ERROR_TMO;
    const std::size_t before = instrument.sent.size();
    sk->setNumPoints(1000);
    EXPECT_EQ(instrument.sent.size(), before);
    EXPECT_EQ(sk->m_blockPoints, 4096);
}

TEST_F(SkSetup, AnUnusableTableIsReportedAndNothingClaimsADeliverableBlock) {
    for (std::vector<double> table :
         {std::vector<double>{}, std::vector<double>{1e9}, std::vector<double>{1e9, 1e9}}) {
        SCOPED_TRACE(table.size());
        instrument.tableHz = table;
        instrument.tableDb = std::vector<double>(table.size(), 0.0);
        sk->GetNewAFC(&sk->m_responseFrequencies, &sk->m_responseAmplitudes);
        error = Error{};
        sk->setNumPoints(400);
        EXPECT_EQ(error.code, 103);
        EXPECT_EQ(sk->getCurSampleRate(), 0.0);
        EXPECT_EQ(sk->getNPts(CUR), 0);
        EXPECT_EQ(sk->getParams(MAX).sampleRate, 0.0);
        const std::size_t sent = instrument.sent.size();
        QVector<IQ_Elem> iq;
        sk->getData(&iq);
        EXPECT_TRUE(iq.isEmpty());
        EXPECT_EQ(instrument.sent.size(), sent) << "an acquisition was started";
        EXPECT_EQ(status, VI_SUCCESS);
    }

    // A table reply claiming more points than it carries yields only those it carries.
    instrument.respond = [&](const Sent& s) {
        if (s.pid != 105) return instrument.standardReply(s);
        return paramReply(4, 105, 0x60, {0, 60000, 1e9, 1.1e9});
    };
    sk->GetNewAFC(&sk->m_responseFrequencies, &sk->m_responseAmplitudes);
    EXPECT_EQ(sk->m_responseFrequencies, (std::vector<double>{1e9, 1.1e9}));
}

}  // namespace
