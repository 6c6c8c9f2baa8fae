// The N9030A backend against a scripted instrument: what goes over the wire, how a capture block is read
// and decoded, the parameter exchanges, the operation-complete wait and the error queue.
#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>

#include "backends/pxa/Pxa.h"
#include "support/LogCapture.h"
#include "support/Records.h"
#include "support/ScriptedVisa.h"

namespace {

using Texts = std::vector<std::string>;

const char* const kNext = "+0,\"No error\"\n";
const char* const kCentre = ":SENSe:FREQuency:RF:CENTer?\n";
const char* const kRange = ":SENSe:POWer:RF:RANGe?\n";
const char* const kXDelta = ":CALCulate:VECTor:DATA2:HEADer? 'XDelta'\n";

class PxaBackend : public ::testing::Test {
protected:
    void SetUp() override {
        instrument.install(r.visa);
        pxa = std::make_unique<PXA>(r.init());
        instrument.sent.clear();
    }
    // Queries answered from a table, "*OPC?" with 1, anything else with an empty line.
    void answer(std::map<std::string, std::string> replies) {
        instrument.answer = [replies](const std::string& query) {
            if (query == "*OPC?\n") return std::string("1\n");
            const auto it = replies.find(query);
            return it == replies.end() ? std::string() : it->second;
        };
    }
    support::Records r;
    support::ScriptedVisa instrument;
    support::LogCapture log;
    std::unique_ptr<PXA> pxa;
};

// n samples {k, -k/2}: every value tells where it came from.
std::vector<float> ramp(int n) {
    std::vector<float> v;
    for (int k = 0; k < n; ++k) v.insert(v.end(), {static_cast<float>(k), -0.5f * k});
    return v;
}

std::vector<int> codes(const QVector<Error>& list) {
    std::vector<int> out;
    for (const Error& e : list) out.push_back(e.code);
    return out;
}

TEST_F(PxaBackend, ACaptureReadsExactlyItsBlockInTheSwappedOrderAndLeavesTheNextReply) {
    struct Case {
        int bytes;
        size_t readCap;
        bool reportMaxCount;
        std::vector<ViUInt32> reads;  // empty: not checked
    };
    const Case cases[] = {
        {1000, 0, false, {2, 4, 1000, 1}},
        {1024, 0, true, {2, 4, 1024, 1}},
        {2056, 0, false, {2, 4, 1024, 1024, 8, 1}},
        // Three bytes a read: pairs split between reads, and every read continued for the rest.
        {2400, 3, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        instrument.sent.clear();
        instrument.readRequests.clear();
        instrument.readCap = c.readCap;
        instrument.reportMaxCount = c.reportMaxCount;
        const int n = c.bytes / 8;
        instrument.stream = support::definiteBlock(support::littleEndianFloats(ramp(n))) + kNext;
        QVector<IQ_Elem> samples(3, IQ_Elem{9, 9});
        pxa->getData(&samples);
        if (!c.reads.empty()) {
            EXPECT_EQ(instrument.readRequests, c.reads);
        }
        ASSERT_EQ(samples.size(), n);
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(samples[k].I, k) << k;
            ASSERT_EQ(samples[k].Q, -0.5 * k) << k;
        }
        EXPECT_EQ(instrument.stream, kNext);
        EXPECT_EQ(r.status, VI_SUCCESS);
        EXPECT_EQ(instrument.sentWithoutOpc(), (Texts{":FORMat:TRACe:DATA REAL\n", ":FORMat:BORDer SWAP\n",
                                                      ":CALCulate:VECTor:DATA2:RAW?\n"}));
        EXPECT_EQ(instrument.timeouts().back(), TRELVAN_TMO_RELAXED);
    }
}

TEST_F(PxaBackend, NothingIsSentWhileTheStatusWordHoldsAnErrorAndATimeoutOnlyReopensTheSession) {
    r.status = VI_ERROR_CONN_LOST;
    Params wanted{2e9, 2e7, 5};
    pxa->setParams(wanted);
    pxa->setNumPoints(100);
    EXPECT_EQ(pxa->getParams(CUR).frequency, 1e9);
    EXPECT_EQ(pxa->getNPts(CUR), 0);
    EXPECT_EQ(codes(pxa->getErr()), std::vector<int>{100});
    QVector<IQ_Elem> samples(5);
    pxa->getData(&samples);
    EXPECT_TRUE(samples.isEmpty());
    EXPECT_TRUE(instrument.sessionCalls.empty());

    r.status = VI_ERROR_TMO;
    pxa->getData(&samples);
    EXPECT_EQ(instrument.sessionCalls,
              (Texts{"close 7", "close 3", "openRM", "open TCPIP0::127.0.0.1::5025::SOCKET 1 5000"}));
    EXPECT_EQ(r.status, VI_SUCCESS);
    EXPECT_TRUE(instrument.sent.empty());
}

TEST_F(PxaBackend, SetUpRestoresTheDefaultsEvenWhenACommandFailsAndNotOverABrokenLink) {
    instrument.writeStatus = VI_ERROR_IO;
    PXA failing(r.init());
    EXPECT_EQ(instrument.sent, (Texts{":INSTrument:COUPle:DEFault  \n", ":SYSTem:DEFault ALL\n",
                                      ":INSTrument:DEFault \n", ":INSTrument:NSELect 100 \n"}));
    EXPECT_EQ(r.status, VI_ERROR_IO);
    instrument.sent.clear();
    PXA broken(r.init());
    EXPECT_TRUE(instrument.sent.empty());
}

TEST_F(PxaBackend, SetParamsSendsFixedPointTextsAndReportsWhatTheInstrumentChanged) {
    answer({{kCentre, "+1.50000000000E+009\n"}, {kRange, "-10\n"}, {kXDelta, "6.25E-08\n"}});
    Params wanted{1.5e9, 1.6e7, -10};
    pxa->setParams(wanted);
    EXPECT_EQ(instrument.sentWithoutOpc(),
              (Texts{":SENSe:FREQuency:SPAN 12500000.000000 HZ\n",
                     ":SENSe:FREQuency:RF:CENTer 1.500000 GHZ\n", ":SENSe:POWer:RF:RANGe -10\n",
                     ":FORMat:TRACe:DATA ASCii\n", ":FORMat:BORDer NORMal\n", kCentre, kRange, kXDelta}));
    // Every command waits for the one before it to complete.
    EXPECT_EQ(instrument.sent.front(), "*OPC?\n");
    EXPECT_EQ(r.error.code, 0);
    EXPECT_EQ(r.params.sampleRate, 1.6e7);
    EXPECT_FALSE(log.contains("Parameters was modified"));

    // The instrument keeps a centre within its range; the host keeps the rate it asked for.
    answer({{kCentre, "2.65E+10\n"}, {kRange, "-10\n"}, {kXDelta, "1e-7\n"}});
    Params beyond{3e10, 2e7, -10};
    pxa->setParams(beyond);
    EXPECT_EQ(r.error.code, 101);
    EXPECT_EQ(r.error.text, "Parameters was modified");
    EXPECT_EQ(log.count("Parameters was modified"), 1);
    EXPECT_EQ(r.params.frequency, 2.65e10);
    EXPECT_EQ(r.params.sampleRate, 2e7);
}

TEST_F(PxaBackend, GetParamsReadsLimitsAndCurrentValuesAndFallsBackOnRepliesThatDoNotConvert) {
    answer({{":SENSe:FREQuency:RF:CENTer? MIN\n", "3\n"},
            {":SENSe:POWer:RF:RANGe? MIN\n", "-50.9\n"},
            {":SENSe:FREQuency:SPAN? MIN\n", "10\n"},
            {kCentre, "1e9\n"},
            {kRange, std::string(3000, '7') + "\n"}});
    const Params low = pxa->getParams(MIN);
    EXPECT_EQ(low.frequency, 3);
    EXPECT_EQ(low.refLevel, -50);
    EXPECT_DOUBLE_EQ(low.sampleRate, 12.8);
    EXPECT_EQ(instrument.timeouts().front(), 1000u);
    EXPECT_EQ(instrument.timeouts().back(), TRELVAN_TMO_RELAXED);

    // A reply longer than the buffer is cut, not stored past it, and a missing XDelta leaves the
    // host's rate.
    r.params.sampleRate = 3.3e6;
    const Params now = pxa->getParams(CUR);
    EXPECT_EQ(now.frequency, 1e9);
    EXPECT_EQ(now.sampleRate, 3.3e6);
    EXPECT_TRUE(log.contains("Sample rate convert error"));
    for (const std::string& format : instrument.readFormats) EXPECT_EQ(format, "%127T");

    // Neither limits nor the current values: the default record.
    const Params other = pxa->getParams(suffix(3));
    EXPECT_TRUE(other.frequency == 1e9 && other.sampleRate == 1e7 && other.refLevel == 0);
}

TEST_F(PxaBackend, PointsAndResolutionBandwidthFollowOneRelationBothWays) {
    answer({{":SENSe:VECTOR:BWIDth:RESolution?\n", "38194\n"},
            {":SENSe:VECTOR:BWIDth:RESolution? MIN\n", "38194\n"},
            {":SENSe:VECTOR:BWIDth:RESolution? MAX\n", "38194.5\n"},
            {":CALCulate:VECTor:DATA2:RAW:POINTs?\n", "4096\n"}});
    pxa->setNumPoints(1000);
    EXPECT_EQ(instrument.count(":SENSe:VECTOR:BWIDth:RESolution 38194.000000 HZ\n"), 1);
    EXPECT_EQ(r.error.code, 0);
    EXPECT_EQ(pxa->getNPts(MIN), 1000);
    EXPECT_EQ(pxa->getNPts(MAX), 0);  // not a whole number
    EXPECT_EQ(pxa->getNPts(CUR), 4096);
    EXPECT_EQ(pxa->getNPts(suffix(-1)), 0);  // neither a limit nor the current count

    // Two decimals go out; an instrument settling elsewhere, or a count no bandwidth gives, is reported.
    pxa->setNumPoints(3000);
    EXPECT_EQ(instrument.count(":SENSe:VECTOR:BWIDth:RESolution 12731.330000 HZ\n"), 1);
    EXPECT_EQ(r.error.code, 102);
    r.error = Error{};
    instrument.sent.clear();
    pxa->setNumPoints(0);
    EXPECT_EQ(r.error.code, 102);
    EXPECT_TRUE(instrument.sent.empty());
}

TEST_F(PxaBackend, TheOperationCompleteWaitEndsOnOneOnAFailedQueryOrAfterItsBound) {
    struct Case {
        std::vector<std::string> answers;  // the last one repeats
        ViStatus queryStatus;
        int queries;
    };
    const Case cases[] = {{{"0\n", "0\n", "+1\n"}, VI_SUCCESS, 3},
                          {{"0\n"}, VI_SUCCESS, 100},
                          {{"garbage\n"}, VI_SUCCESS, 100},
                          {{""}, VI_SUCCESS, 100},
                          {{"1\n"}, VI_ERROR_TMO, 1}};
    for (const Case& c : cases) {
        instrument.sent.clear();
        instrument.queryStatus = c.queryStatus;
        size_t next = 0;
        instrument.answer = [&](const std::string&) {
            return c.answers[std::min(next++, c.answers.size() - 1)];
        };
        pxa->OPC();
        EXPECT_EQ(instrument.count("*OPC?\n"), c.queries) << c.answers[0];
    }
    EXPECT_EQ(pxa->OPCquery(), VI_ERROR_TMO);
    EXPECT_EQ(instrument.count("*OPC?\n"), 1);
}

TEST_F(PxaBackend, TheErrorQueueIsReadAfterThePendingErrorUntilItsClosingEntry) {
    std::deque<std::string> queue = {"-113,\"Undefined header\"\n", "garbage\n", kNext};
    instrument.answer = [&](const std::string& query) {
        if (query == "*OPC?\n") return std::string("1\n");
        EXPECT_EQ(query, ":SYSTem:ERRor:NEXT? \n");
        const std::string reply = queue.empty() ? kNext : queue.front();
        if (!queue.empty()) queue.pop_front();
        return reply;
    };
    r.error = Error{101, "Parameters was modified"};
    QVector<Error> list = pxa->getErr();
    // A reply that does not parse repeats the entry before it.
    EXPECT_EQ(codes(list), (std::vector<int>{101, -113, -113, 0}));
    EXPECT_EQ(list[1].text, "\"Undefined header\"\n");
    EXPECT_EQ(list[3].text, "\"No error\"\n");
    for (const std::string& format : instrument.readFormats)
        EXPECT_TRUE(format == "%127T" || format == "%1023T");

    // A query that fails ends the read with a timeout entry.
    instrument.queryStatus = VI_ERROR_TMO;
    list = pxa->getErr();
    EXPECT_EQ(codes(list), (std::vector<int>{101, 100}));
    EXPECT_EQ(list[1].text, "Visa Timeout");
}

}  // namespace
