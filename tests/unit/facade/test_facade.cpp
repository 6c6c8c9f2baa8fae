// The facade against a scripted VISA: discovery's filters and order, the direct I/O readers, its own
// N9030A captures, and a backend that throws.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numeric>
#include <thread>

#include "backends/pxa/Pxa.h"
#include "facade/Facade.h"
#include "support/LogCapture.h"
#include "support/ScriptedVisa.h"

namespace {

using Texts = std::vector<std::string>;

class Facade : public ::testing::Test {
protected:
    void SetUp() override {
        instrument.install(t.visa);
        t.status = VI_SUCCESS;
        t.session = 5;
        t.resourceManager = 4;
        t.isPXA = true;
        std::strcpy(t.device.address, "TCPIP0::127.0.0.1::5025::SOCKET");
    }
    support::ScriptedVisa instrument;  // outlives the facade, which closes its sessions as it goes
    Trelvan t;
    unsigned long retCount = 12345;
};

TEST_F(Facade, DiscoveryKeepsKnownMakersAndModelsFreeOnesFirstNewestFirst) {
    using Attr = std::map<ViAttr, std::string>;
    const auto entry = [](const char* maker, const char* model, const char* serial, const char* busy) {
        Attr a{{VI_ATTR_MODEL_NAME, model}, {TRELVAN_ATTR_BUSY, busy}};
        if (maker != nullptr) a[VI_ATTR_MANF_NAME] = maker;
        if (serial != nullptr) a[VI_ATTR_USB_SERIAL_NUM] = serial;
        return a;
    };
    instrument.found = {
        {"TCPIP0::10.0.0.1::5025::SOCKET", entry("Keysight Technologies", "N9030A", "A1", "")},
        {"TCPIP0::10.0.0.3::8888::SOCKET", entry("Reruro", "K4-E1", "C3", "\x01")},
        {"TCPIP0::10.0.0.2::inst0::INSTR", entry("Agilent Technologies", "n9030a", "B2", "")},
        {"TCPIP0::10.0.0.4::8888::SOCKET", entry("Acme", "K4-E1", "D4", "")},
        {"TCPIP0::10.0.0.5::5025::SOCKET", entry(nullptr, "N9030A", "E5", "")},
        {"TCPIP0::10.0.0.6::5025::SOCKET", entry("Keysight", "N9020B", "F6", "")},
        {"TCPIP0::10.0.0.7::8888::SOCKET", entry("Reruro", "K4-E1", "", "")},
        // "К4-Э1" in Windows-1251, then the unassigned byte 0x98, which the conversion drops.
        {"TCPIP0::10.0.0.9::8888::SOCKET", entry("Reruro", "\xCA\x34-\xDD\x31\x98", nullptr, "")},
    };
    const std::vector<DeviceData> list = t.getDevList();
    Texts addresses;
    for (const DeviceData& d : list) addresses.push_back(d.address);
    EXPECT_EQ(addresses, (Texts{"TCPIP::10.0.0.9::8888::SOCKET", "TCPIP0::10.0.0.5::5025::SOCKET",
                                "TCPIP0::10.0.0.2::5025::SOCKET", "TCPIP0::10.0.0.1::5025::SOCKET",
                                "TCPIP::10.0.0.3::8888::SOCKET"}));
    EXPECT_EQ(list[0].model, "К4-Э1");
    EXPECT_EQ(list[0].serial, "");
    EXPECT_EQ(list[2].model, "n9030a");
    EXPECT_EQ(list[2].serial, "B2");
    EXPECT_FALSE(list[2].busy);
    EXPECT_TRUE(list[4].busy);
    EXPECT_EQ(instrument.countCalls("close"), 1);
    EXPECT_EQ(t.getStatus(), 1);

    support::LogCapture log;
    instrument.found.clear();
    EXPECT_TRUE(t.getDevList().empty());
    EXPECT_EQ(log.count("Connection Error"), 1);
    EXPECT_EQ(instrument.countCalls("close"), 2);

    std::string longAddress(300, 'a');
    t.DeviceAdd(&longAddress[0], "m", "s", false);
    EXPECT_EQ(std::strlen(t.devices[0].address), 127u);
}

// A busy instrument is another program's: connecting refuses it before VISA is touched.
TEST_F(Facade, ConnectRefusesABusyInstrumentWithoutTouchingVisa) {
    t.status = 1;
    DeviceData busy;
    std::strcpy(busy.address, "TCPIP0::127.0.0.1::5025::SOCKET");
    busy.model = "N9030A";
    busy.busy = true;
    EXPECT_FALSE(t.setConnect(busy));
    EXPECT_EQ(instrument.sessionCalls, Texts{});
}

TEST_F(Facade, ReadBufStopsAtItsCountAndEndsOnThreeEmptyTimeoutsOrALostLink) {
    struct Case {
        std::string stream;
        std::deque<size_t> chunks;
        bool reportMaxCount;
        ViStatus whenDry;
        unsigned count;
        std::string reply;
        unsigned long retCount;
        std::vector<ViUInt32> reads;
        ViStatus status;
    };
    const std::string many(1500, 'x');
    const Case cases[] = {
        {many, {}, false, VI_ERROR_TMO, 0, many.substr(0, 1024), 1024, {1024}, VI_SUCCESS},
        {many, {}, true, VI_ERROR_TMO, 5000, many.substr(0, 1024), 1024, {1024}, VI_SUCCESS},
        // A read cut short is topped up with the remainder only; the rest stays for the next reader.
        {"#3512", {1, 1, 3}, false, VI_ERROR_TMO, 2, "#3", 2, {2, 1}, VI_SUCCESS},
        {std::string("ab\0cd", 5), {}, false, VI_ERROR_TMO, 5, std::string("ab\0cd", 5), 5, {5}, VI_SUCCESS},
        {"", {}, false, VI_ERROR_TMO, 16, "", 0, {16, 16, 16}, VI_ERROR_TMO},
        // A lost link leaves the count, and the exchange's timeout, as they were.
        {"", {}, false, VI_ERROR_CONN_LOST, 16, "", 12345, {16}, VI_ERROR_CONN_LOST},
    };
    for (const Case& c : cases) {
        support::ScriptedVisa link;
        link.install(t.visa);
        link.stream = c.stream;
        link.chunks = c.chunks;
        link.reportMaxCount = c.reportMaxCount;
        link.whenDry = c.whenDry;
        std::string reply = "old";
        retCount = 12345;
        t.ReadBuf(reply, c.count, retCount);
        SCOPED_TRACE(c.reply);
        EXPECT_EQ(reply, c.reply);
        EXPECT_EQ(retCount, c.retCount);
        EXPECT_EQ(link.readRequests, c.reads);
        EXPECT_EQ(t.status, c.status);
        EXPECT_EQ(link.timeouts().front(), 1000u);
        EXPECT_EQ(link.timeouts().size(), c.whenDry == VI_ERROR_CONN_LOST ? 1u : 2u);
        EXPECT_EQ(link.stream, c.stream.substr(std::min(c.stream.size(), size_t(c.retCount))));
    }
}

TEST_F(Facade, FloatReadersDecodeBigEndianValuesAndNativePairsWithinTheCallersVector) {
    instrument.stream = support::bigEndianFloats({1.0f, 2.0f});
    std::vector<double> values;
    t.ReadBufFloat(values, 8, retCount);
    EXPECT_EQ(values, (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(retCount, 2u);

    instrument.stream = support::littleEndianFloats({1.0f, -2.0f, 3.0f, 4.0f, 5.0f, 6.0f});
    QVector<IQ_Elem> samples(2, IQ_Elem{7, 7});
    int written = 1;
    t.ReadBufFloat(&samples, 24, written);
    EXPECT_EQ(written, 2);
    EXPECT_EQ(samples[0].I, 7.0);
    EXPECT_EQ(samples[1].I, 1.0);
    EXPECT_EQ(samples[1].Q, -2.0);
}

TEST_F(Facade, ReadComplexValueDecodesFixedPointAndDoubles) {
    const double stored = -1234.5678;
    unsigned char bytes[16] = {0xFF, 0x7F, 0x00, 0x80, 0x01, 0x00, 0x00, 0x80};
    std::memcpy(bytes + 8, &stored, 8);
    EXPECT_EQ(t.ReadComplexValue(bytes, 0, 0, false, 2, 0), 32767.0);
    EXPECT_EQ(t.ReadComplexValue(bytes, 2, 0, true, 2, 1), -128.0);
    EXPECT_EQ(t.ReadComplexValue(bytes, 0, 1, false, 2, 0), 32768.0);
    EXPECT_EQ(t.ReadComplexValue(bytes, 0, 1, true, 4, 1), -2147483647.0 / 256);
    EXPECT_EQ(t.ReadComplexValue(bytes, 8, 0, true, 8, 15), stored);
    EXPECT_EQ(t.ReadComplexValue(bytes, 0, 0, true, 9, 0), 0.0);
}

TEST_F(Facade, CustomCommandAndGetErrorsTalkOnlyToAHealthyN9030A) {
    instrument.replies = {"Keysight Technologies,N9030A,MY1,A.1\n", std::string(500, 'z'),
                          "-222,\"Data out of range\"\n"};
    EXPECT_EQ(t.CustomCommand("*IDN?\n", true), "Keysight Technologies,N9030A,MY1,A.1\n");
    EXPECT_EQ(instrument.timeouts(), (std::vector<ViAttrState>{1000, TRELVAN_TMO_RELAXED}));
    EXPECT_EQ(t.CustomCommand("X?\n", true).size(), 127u);
    EXPECT_EQ(t.getErrors(0), "-222,\"Data out of range\"\n");
    EXPECT_EQ(t.CustomCommand(":INIT\n", false), "");
    EXPECT_EQ(instrument.sentWithoutOpc(), (Texts{"*IDN?\n", "X?\n", ":SYSTem:ERRor:NEXT? \n", ":INIT\n"}));

    instrument.sent.clear();
    t.status = 1;
    EXPECT_EQ(t.CustomCommand("*IDN?\n", true), "");
    EXPECT_EQ(t.getErrors(0), "");
    EXPECT_TRUE(instrument.sent.empty());
}

TEST_F(Facade, TheBinaryCaptureAsksForBigEndianFloatsAndPairsThemInExactPieces) {
    instrument.replies = {"150\n"};
    // 301 floats: the odd one at the end makes no pair.
    std::vector<float> ramp(301);
    std::iota(ramp.begin(), ramp.end(), 0.0f);
    instrument.stream = support::definiteBlock(support::bigEndianFloats(ramp)) + "+0\n";
    const auto samples = t.getData(0.0);
    ASSERT_EQ(samples.size(), 150u);
    EXPECT_EQ(samples[0], std::complex<double>(0, 1));
    EXPECT_EQ(samples[149], std::complex<double>(298, 299));
    EXPECT_EQ(instrument.readRequests, (std::vector<ViUInt32>{2, 4, 1024, 180, 1}));
    EXPECT_EQ(instrument.stream, "+0\n");
    EXPECT_EQ(t.status, VI_SUCCESS);
    // Each capture path states its format and byte order itself, whichever path ran before.
    EXPECT_EQ(instrument.count(":FORMat:TRACe:DATA REAL\n"), 1);
    EXPECT_EQ(instrument.count(":FORMat:BORDer NORMal\n"), 1);
    EXPECT_EQ(instrument.count(":FORMat:BORDer SWAP\n"), 0);
}

TEST_F(Facade, TheAsciiCaptureSkipsPairsThatDoNotParse) {
    instrument.replies = {"2\n"};
    instrument.stream = "1.5,-2,abc,3,4\n";
    const auto samples = t.getData(0);
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0], std::complex<double>(1.5, -2.0));
    EXPECT_EQ(instrument.count(":FORMat:TRACe:DATA ASCii\n"), 1);
}

TEST_F(Facade, OtherInstrumentsGetNoCaptureOnlyATimeoutRepair) {
    t.isPXA = false;
    EXPECT_TRUE(t.getData(0).empty());
    EXPECT_TRUE(instrument.sessionCalls.empty());
    t.status = VI_ERROR_TMO;
    EXPECT_TRUE(t.getData(0.0).empty());
    EXPECT_EQ(instrument.countCalls("openRM"), 1);
    EXPECT_TRUE(instrument.sent.empty());
}

// A backend whose acquisition fills part of the block and then throws, as does everything else it does.
class ThrowingBackend : public PXA {
public:
    explicit ThrowingBackend(std::function<void()> raise) : m_raise(std::move(raise)) {}
    void getData(QVector<IQ_Elem>* samples) override {
        samples->resize(10);
        m_raise();
    }
    void setParams(Params&) override { m_raise(); }
    void setNumPoints(int) override { m_raise(); }
    Params getParams(suffix) override { return m_raise(), Params{}; }
    int getNPts(suffix) override { return m_raise(), 0; }
    double getCurSampleRate() override { return m_raise(), 0.0; }

private:
    std::function<void()> m_raise;
};

TEST_F(Facade, WhatABackendThrowsDuringAnAcquisitionStaysInsideAndTheFacadeIsFreeAgain) {
    const std::pair<std::function<void()>, QString> raises[] = {
        {[] { throw std::bad_alloc(); }, "std::bad_alloc"}, {[] { throw 7; }, "an exception of no standard type"}};
    for (const auto& [raise, what] : raises) {
        ThrowingBackend backend(raise);
        t.backend = &backend;
        QVector<IQ_Elem> samples;
        support::LogCapture log;
        t.getData(&samples);
        EXPECT_EQ(samples.size(), 10);
        EXPECT_EQ(log.lines(), QStringList{"Swallowed from the backend in getData: " + what});
        EXPECT_NO_THROW(t.setParam(Params{1e9, 1e6, 0}));
        EXPECT_NO_THROW(t.setNumPts(100));
        EXPECT_NO_THROW(t.getParameters(CUR));
        EXPECT_EQ(t.getNumPTS(CUR), 0);
        EXPECT_EQ(t.getCurSampleRate(), 0.0);
        // A second acquisition from another thread gets the facade's lock.
        std::atomic<bool> done{false};
        std::thread next([&] {
            QVector<IQ_Elem> more;
            t.getData(&more);
            done = true;
        });
        for (int i = 0; i < 500 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!done) {
            std::fprintf(stderr, "the facade stayed locked after a backend threw\n");
            std::_Exit(1);
        }
        next.join();
        t.backend = nullptr;
    }
}

}  // namespace
