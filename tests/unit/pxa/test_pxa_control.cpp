// Set-up, parameters, points and the operation-complete wait, against a scripted instrument.
#include <map>

#include "PxaFixture.h"

namespace {

using Replies = std::map<std::string, std::string>;

std::function<std::string(const std::string&)> replying(Replies replies) {
    return [replies](const std::string& query) {
        if (query == "*OPC?\n") return std::string("1\n");
        auto it = replies.find(query);
        return it == replies.end() ? std::string() : it->second;
    };
}

}  // namespace

TEST_F(PxaTest, SetUpRestoresDefaultsAndSelectsTheModeEvenWhenACommandFails) {
    const std::vector<std::string> setUp = {":INSTrument:COUPle:DEFault  \n", ":SYSTem:DEFault ALL\n",
                                            ":INSTrument:DEFault \n", ":INSTrument:NSELect 100 \n"};
    PXA first(init());
    EXPECT_EQ(fake.sent, setUp);

    fake.sent.clear();
    fake.writeStatus = VI_ERROR_IO;
    PXA second(init());
    EXPECT_EQ(fake.sent, setUp);
    EXPECT_EQ(status, VI_ERROR_IO);

    fake.sent.clear();
    PXA third(init());
    EXPECT_TRUE(fake.sent.empty());
}

TEST_F(PxaTest, SetParamsSendsFixedPointTextsAndAcceptsAnExactReadBack) {
    auto pxa = connect();
    fake.answer = replying({{":SENSe:FREQuency:RF:CENTer?\n", "+1.50000000000E+009\n"},
                            {":SENSe:POWer:RF:RANGe?\n", "-10\n"},
                            {":CALCulate:VECTor:DATA2:HEADer? 'XDelta'\n", "6.25E-08\n"}});
    Params wanted{1.5e9, 1.6e7, -10};
    pxa->setParams(wanted);
    const std::vector<std::string> expected = {":SENSe:FREQuency:SPAN 12500000.000000 HZ\n",
                                               ":SENSe:FREQuency:RF:CENTer 1.500000 GHZ\n",
                                               ":SENSe:POWer:RF:RANGe -10\n",
                                               ":FORMat:TRACe:DATA ASCii\n",
                                               ":FORMat:BORDer NORMal\n",
                                               ":SENSe:FREQuency:RF:CENTer?\n",
                                               ":SENSe:POWer:RF:RANGe?\n",
                                               ":CALCulate:VECTor:DATA2:HEADer? 'XDelta'\n"};
    EXPECT_EQ(sentWithoutOpc(), expected);
    // Every command waits for the one before it to complete.
    EXPECT_EQ(fake.sent.front(), "*OPC?\n");
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(params.frequency, 1.5e9);
    EXPECT_EQ(params.sampleRate, 1.6e7);
    EXPECT_EQ(params.refLevel, -10);
    EXPECT_FALSE(log().contains("Parameters was modified"));

    fake.sent.clear();
    Params edge{1.5e9, 1.28e7, 0};
    pxa->setParams(edge);
    EXPECT_EQ(fake.count(":SENSe:FREQuency:SPAN 10000000.000000 HZ\n"), 1u);
}

TEST_F(PxaTest, SetParamsReportsWhatTheInstrumentChanged) {
    auto pxa = connect();
    fake.answer = replying({{":SENSe:FREQuency:RF:CENTer?\n", "2.65E+10\n"},
                            {":SENSe:POWer:RF:RANGe?\n", "-10\n"},
                            {":CALCulate:VECTor:DATA2:HEADer? 'XDelta'\n", "1e-7\n"}});
    Params wanted{3e10, 2e7, -10};
    pxa->setParams(wanted);
    EXPECT_EQ(error.code, 101);
    EXPECT_EQ(error.text, "Parameters was modified");
    EXPECT_TRUE(log().contains("Parameters was modified"));
    // The instrument's centre and range, but the rate the host asked for.
    EXPECT_EQ(params.frequency, 2.65e10);
    EXPECT_EQ(params.sampleRate, 2e7);
    EXPECT_EQ(params.refLevel, -10);
}

TEST_F(PxaTest, GetParamsReadsLimitsAndCurrentValuesAndFallsBackOnBadReplies) {
    auto pxa = connect();
    fake.answer = replying({{":SENSe:FREQuency:RF:CENTer? MIN\n", "3\n"},
                            {":SENSe:POWer:RF:RANGe? MIN\n", "-50.9\n"},
                            {":SENSe:FREQuency:SPAN? MIN\n", "10\n"},
                            {":SENSe:FREQuency:RF:CENTer?\n", "1e9\n"},
                            {":SENSe:POWer:RF:RANGe?\n", std::string(3000, 'x') + "\n"},
                            {":CALCulate:VECTor:DATA2:HEADer? 'XDelta'\n", "1e-7\n"}});
    const Params low = pxa->getParams(MIN);
    EXPECT_EQ(low.frequency, 3);
    EXPECT_EQ(low.refLevel, -50);
    EXPECT_DOUBLE_EQ(low.sampleRate, 12.8);
    EXPECT_EQ(fake.timeouts.front(), 1000u);
    EXPECT_EQ(fake.timeouts.back(), TRELVAN_TMO_RELAXED);
    for (const auto& format : fake.readFormats) EXPECT_EQ(format, "%127T");

    // A reply longer than the buffer is cut, not written past it, and then does not convert.
    Params now = pxa->getParams(CUR);
    EXPECT_EQ(now.frequency, 1e9);
    EXPECT_EQ(now.refLevel, 0);
    EXPECT_DOUBLE_EQ(now.sampleRate, 1e7);

    params.sampleRate = 3.3e6;
    fake.answer = replying({});
    now = pxa->getParams(CUR);
    EXPECT_EQ(now.sampleRate, 3.3e6);
    EXPECT_TRUE(log().contains("Sample rate convert error"));

    fake.sent.clear();
    const Params other = pxa->getParams(static_cast<suffix>(5));
    EXPECT_EQ(other.frequency, 1e9);
    EXPECT_EQ(other.sampleRate, 1e7);
    EXPECT_EQ(other.refLevel, 0);
    EXPECT_EQ(sentWithoutOpc(),
              (std::vector<std::string>{":FORMat:TRACe:DATA ASCii\n", ":FORMat:BORDer NORMal\n"}));
}

TEST_F(PxaTest, PointsAndResolutionBandwidthFollowOneRelationBothWays) {
    auto pxa = connect();
    fake.answer = replying({{":SENSe:VECTOR:BWIDth:RESolution?\n", "38194\n"},
                            {":SENSe:VECTOR:BWIDth:RESolution? MIN\n", "38194\n"},
                            {":SENSe:VECTOR:BWIDth:RESolution? MAX\n", "38194.5\n"},
                            {":CALCulate:VECTor:DATA2:RAW:POINTs?\n", "4096\n"}});
    pxa->setNumPoints(1000);
    EXPECT_EQ(fake.count(":SENSe:VECTOR:BWIDth:RESolution 38194.000000 HZ\n"), 1u);
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(pxa->getNPts(MIN), 1000);
    EXPECT_EQ(pxa->getNPts(MAX), 0);  // not a whole number
    EXPECT_EQ(pxa->getNPts(CUR), 4096);
    EXPECT_EQ(pxa->getNPts(static_cast<suffix>(9)), 0);

    // Two decimals survive; the instrument settling elsewhere is reported.
    pxa->setNumPoints(3000);
    EXPECT_EQ(fake.count(":SENSe:VECTOR:BWIDth:RESolution 12731.330000 HZ\n"), 1u);
    EXPECT_EQ(error.code, 102);
    EXPECT_EQ(error.text, "Possible incorrect number of pts");

    error = Error{};
    fake.sent.clear();
    pxa->setNumPoints(0);
    EXPECT_TRUE(fake.sent.empty());
    EXPECT_EQ(error.code, 102);
}

TEST_F(PxaTest, OperationCompleteWaitEndsOnOneOnErrorAndAfterABoundedNumberOfOtherAnswers) {
    auto pxa = connect();
    int asked = 0;
    fake.answer = [&](const std::string&) { return ++asked < 3 ? std::string("0\n") : std::string("+1\n"); };
    pxa->OPC();
    EXPECT_EQ(asked, 3);

    for (const char* answer : {"0\n", "garbage\n", ""}) {
        fake.sent.clear();
        fake.answer = [answer](const std::string&) { return std::string(answer); };
        pxa->OPC();
        EXPECT_GT(fake.sent.size(), 1u) << answer;
        EXPECT_LT(fake.sent.size(), 1000u) << answer;
        EXPECT_EQ(status, VI_SUCCESS);
    }

    fake.sent.clear();
    fake.queryStatus = VI_ERROR_TMO;
    pxa->OPC();
    EXPECT_EQ(fake.sent.size(), 1u);
    EXPECT_EQ(pxa->OPCquery(), VI_ERROR_TMO);
    EXPECT_EQ(fake.sent.size(), 1u);
}

TEST_F(PxaTest, NothingIsSentWhileTheStatusWordHoldsAnError) {
    auto pxa = connect();
    status = VI_ERROR_CONN_LOST;
    Params wanted{2e9, 2e7, 5};
    pxa->setParams(wanted);
    pxa->setNumPoints(100);
    const Params p = pxa->getParams(CUR);
    EXPECT_EQ(p.frequency, 1e9);
    EXPECT_EQ(p.sampleRate, 1e7);
    EXPECT_EQ(pxa->getNPts(CUR), 0);
    pxa->setExtSyncState(true);
    pxa->setExtSyncFreq(1e7);
    EXPECT_EQ(pxa->getCurSampleRate(), 1e7);
    EXPECT_TRUE(fake.sent.empty());
    EXPECT_TRUE(fake.timeouts.empty());
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
}
