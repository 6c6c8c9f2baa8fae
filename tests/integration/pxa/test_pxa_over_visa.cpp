// PXA over our VISA library against the emulated N9030A on loopback.
#include <gtest/gtest.h>

#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <thread>

#include "PxaEmulator.h"
#include "backends/pxa/PXA.h"
#include "facade/Trelvan.h"
#include "visa/DynamicVisa.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kPi = 3.14159265358979323846;

long msSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

// The backend's exchange timeout is 1000 ms; the faults here are found in a fifth of the time, and the
// practically infinite timeout becomes a hang guard.
ViStatus (*realSetAttribute)(ViObject, ViAttr, ViAttrState) = nullptr;
ViStatus quickTimeouts(ViObject vi, ViAttr attribute, ViAttrState value) {
    if (attribute == VI_ATTR_TMO_VALUE && value == 1000) value = 200;
    if (attribute == VI_ATTR_TMO_VALUE && value == TRELVAN_TMO_RELAXED) value = 10000;
    return realSetAttribute(vi, attribute, value);
}

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Level in dBm of the component at `offsetHz`, from the correlation with a unit phasor.
double levelAt(const QVector<IQ_Elem>& iq, double sampleRate, double offsetHz) {
    std::complex<double> sum;
    for (int k = 0; k < iq.size(); ++k)
        sum += std::complex<double>(iq[k].I, iq[k].Q) * std::polar(1.0, -2 * kPi * offsetHz * k / sampleRate);
    const double amplitude = std::abs(sum) / iq.size();
    return 10 * std::log10(amplitude * amplitude / 0.05 + 1e-30);
}

class PxaOverVisa : public ::testing::Test {
protected:
    sim::PxaEmulator emulator;
    DynamicVisa visa{"MiVISA64"};  // found on LD_LIBRARY_PATH as libMiVISA64.so
    ViStatus status = VI_SUCCESS;
    ViSession session = 0;
    ViSession resourceManager = 0;
    Params params{1e9, 1e7, 0};
    Error error;
    DeviceData device;
    std::unique_ptr<PXA> pxa;

    void SetUp() override {
        qInstallMessageHandler(quiet);
        ASSERT_EQ(visa.MissingFnCount(), 0) << "libMiVISA64 not found";
        ASSERT_TRUE(emulator.start("127.0.0.1", 0));
        emulator.setTone(244140.625, -30);  // bin 100 of 4096 at 1e7 samples/s
        emulator.setNoiseDbm(-100);
        std::strcpy(device.address, emulator.resource().c_str());
        realSetAttribute = visa.viSetAttribute;
        visa.viSetAttribute = &quickTimeouts;
        status = visa.viOpenDefaultRM(&resourceManager);
        status = visa.viOpen(resourceManager, device.address, VI_EXCLUSIVE_LOCK, 5000, &session);
        ASSERT_EQ(status, VI_SUCCESS);
        pxa =
            std::make_unique<PXA>(Init{&visa, &status, &session, &resourceManager, &params, &error, &device});
        pxa->setNumPoints(4096);
        ASSERT_EQ(status, VI_SUCCESS);
    }
    void TearDown() override {
        pxa.reset();
        visa.viClose(session);
        visa.viClose(resourceManager);
        emulator.stop();
        qInstallMessageHandler(nullptr);
    }
    // The emulator counts a connection once it has accepted it, a moment after the client is through.
    int connectionsAfterAWhile(int expected) {
        const Clock::time_point t = Clock::now();
        while (emulator.connectionsAccepted() < expected && msSince(t) < 2000)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return emulator.connectionsAccepted();
    }
    QVector<IQ_Elem> capture() {
        QVector<IQ_Elem> samples;
        pxa->getData(&samples);
        return samples;
    }
    void expectToneCapture() {
        const QVector<IQ_Elem> iq = capture();
        ASSERT_EQ(iq.size(), 4096);
        EXPECT_NEAR(levelAt(iq, 1e7, 244140.625), -30, 0.5);
        EXPECT_LT(levelAt(iq, 1e7, -244140.625), -70);
    }
};

}  // namespace

TEST_F(PxaOverVisa, SetsUpAndKeepsParametersThatTheInstrumentAccepts) {
    EXPECT_EQ(emulator.settings().mode, 100);

    Params wanted{1.5e9, 1.6e7, -10};
    pxa->setParams(wanted);
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(emulator.settings().centerHz, 1.5e9);
    EXPECT_EQ(emulator.settings().sampleRate, 1.6e7);
    EXPECT_EQ(emulator.settings().rfRangeDbm, -10);
    EXPECT_EQ(params.frequency, 1.5e9);
    EXPECT_EQ(pxa->getCurSampleRate(), 1.6e7);

    const Params high = pxa->getParams(MAX);
    EXPECT_EQ(high.frequency, 26.5e9);
    EXPECT_DOUBLE_EQ(high.sampleRate, 40e6 * 1.28);
    EXPECT_EQ(high.refLevel, 30);
    EXPECT_LE(pxa->getNPts(MIN), 4194304);

    pxa->setNumPoints(2000);
    EXPECT_EQ(pxa->getNPts(CUR), 2000);
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(status, VI_SUCCESS);
}

TEST_F(PxaOverVisa, ClampedSettingsAreReportedAndTheirErrorsReadFromTheQueue) {
    Params wanted{3e10, 1e8, 50};
    pxa->setParams(wanted);
    EXPECT_EQ(error.code, 101);
    EXPECT_EQ(params.frequency, 26.5e9);
    EXPECT_EQ(params.refLevel, 30);
    EXPECT_EQ(params.sampleRate, 1e8);
    const QVector<Error> list = pxa->getErr();
    ASSERT_EQ(list.size(), 5);
    EXPECT_EQ(list[0].code, 101);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(list[i].code, -222);
        EXPECT_EQ(list[i].text, "\"Data out of range\"\n");
    }
    EXPECT_EQ(list[4].code, 0);
}

TEST_F(PxaOverVisa, TheToneLandsInItsBinAtTheSampleRate) {
    EXPECT_EQ(pxa->getCurSampleRate(), 1e7);
    expectToneCapture();
    EXPECT_EQ(emulator.settings().swapped, true);
    EXPECT_EQ(emulator.settings().asciiFormat, false);
    expectToneCapture();  // the instrument kept the stream in step
}

TEST_F(PxaOverVisa, AStallTheRetriesCoverCostsNothing) {
    sim::PxaFaults f;
    f.stallBeforeMs = 300;
    emulator.setFaults(f);
    expectToneCapture();
    EXPECT_EQ(status, VI_SUCCESS);
    EXPECT_EQ(emulator.connectionsAccepted(), 1);
}

TEST_F(PxaOverVisa, AStalledBlockTimesOutReopensAndTheNextCaptureWorks) {
    for (bool inside : {false, true}) {
        sim::PxaFaults f;
        if (inside) {
            f.stallAfterBytes = 5000;
            f.stallInsideMs = 5000;
        } else {
            f.stallBeforeMs = 5000;
        }
        emulator.setFaults(f);
        const int connections = emulator.connectionsAccepted();
        const Clock::time_point t = Clock::now();
        const QVector<IQ_Elem> iq = capture();
        EXPECT_LT(msSince(t), 4000) << inside;
        EXPECT_EQ(status, VI_SUCCESS) << inside;  // the re-open's status
        EXPECT_EQ(connectionsAfterAWhile(connections + 1), connections + 1) << inside;
        if (inside) {
            // What arrived is kept, the rest stays zero.
            ASSERT_EQ(iq.size(), 4096);
            EXPECT_NE(iq[10].I, 0.0);
            EXPECT_EQ(iq[4095].I, 0.0);
        } else {
            EXPECT_TRUE(iq.isEmpty());
        }
        emulator.clearFaults();
        expectToneCapture();
    }
}

TEST_F(PxaOverVisa, ACorruptHeaderGivesAnEmptyCaptureAndTheNextOneIsClean) {
    for (int fault = 0; fault < 2; ++fault) {
        sim::PxaFaults f;
        (fault == 0 ? f.wrongDigitCount : f.nonNumericLength) = true;
        emulator.setFaults(f);
        const Clock::time_point t = Clock::now();
        EXPECT_TRUE(capture().isEmpty()) << fault;
        EXPECT_LT(msSince(t), 4000) << fault;
        EXPECT_EQ(status, VI_SUCCESS) << fault;
        emulator.clearFaults();
        expectToneCapture();
    }
    EXPECT_EQ(emulator.connectionsAccepted(), 1);
}

TEST_F(PxaOverVisa, AConnectionClosedMidBlockStopsTheBackendAtOnce) {
    sim::PxaFaults f;
    f.closeAfterBytes = 3000;
    emulator.setFaults(f);
    const Clock::time_point t = Clock::now();
    const QVector<IQ_Elem> iq = capture();
    EXPECT_LT(msSince(t), 4000);
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
    ASSERT_EQ(iq.size(), 4096);
    EXPECT_EQ(iq[4095].I, 0.0);
    // A lost connection is not repaired here; the backend idles until the host reconnects.
    EXPECT_TRUE(capture().isEmpty());
    EXPECT_EQ(pxa->getNPts(CUR), 0);
    const QVector<Error> list = pxa->getErr();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].code, 100);
    EXPECT_EQ(emulator.connectionsAccepted(), 1);
}

TEST_F(PxaOverVisa, DrippedBytesStillMakeACompleteCapture) {
    pxa->setNumPoints(256);
    sim::PxaFaults f;
    f.dripDelayUs = 0;
    emulator.setFaults(f);
    const QVector<IQ_Elem> iq = capture();
    ASSERT_EQ(iq.size(), 256);
    EXPECT_NE(iq[255].I, 0.0);
    EXPECT_EQ(status, VI_SUCCESS);
}

TEST_F(PxaOverVisa, ABrokenOperationCompleteOrErrorQueueOnlyCostsBoundedQueries) {
    sim::PxaFaults f;
    f.errorQueueNeverEmpties = true;
    emulator.setFaults(f);
    Clock::time_point t = Clock::now();
    const QVector<Error> list = pxa->getErr();
    EXPECT_LT(msSince(t), 4000);
    EXPECT_GT(list.size(), 1);
    EXPECT_NE(list.back().code, 0);

    for (auto opc : {sim::PxaFaults::Opc::Garbage, sim::PxaFaults::Opc::Zero}) {
        f = sim::PxaFaults{};
        f.opc = opc;
        emulator.setFaults(f);
        t = Clock::now();
        Params wanted{2e9, 1e7, 0};
        pxa->setParams(wanted);
        expectToneCapture();
        EXPECT_LT(msSince(t), 4000);
        EXPECT_EQ(status, VI_SUCCESS);
        EXPECT_EQ(emulator.settings().centerHz, 2e9);
    }
}

// The backend and the facade's binary and ASCII captures each state the format and byte order they
// read, so whichever ran before, every one of them finds the tone where it is.
TEST_F(PxaOverVisa, EveryCapturePathFindsTheToneWhateverRanBefore) {
    pxa.reset();
    visa.viClose(session);
    Trelvan t;
    t.visa.viSetAttribute = &quickTimeouts;
    t.status = 1;
    DeviceData n9030a = device;
    n9030a.model = "N9030A";
    ASSERT_TRUE(t.setConnect(n9030a));
    t.setNumPts(4096);
    const auto toBlock = [](const std::vector<std::complex<double>>& values) {
        QVector<IQ_Elem> iq;
        for (const auto& v : values) iq.append(IQ_Elem{v.real(), v.imag()});
        return iq;
    };
    const char* const names[] = {"backend", "binary", "ASCII"};
    int order[] = {0, 1, 2};
    do {
        for (int path : order) {
            SCOPED_TRACE(names[path]);
            QVector<IQ_Elem> iq;
            if (path == 0) t.getData(&iq);
            if (path == 1) iq = toBlock(t.getData(0.0));
            if (path == 2) iq = toBlock(t.getData(0));
            ASSERT_EQ(iq.size(), 4096);
            EXPECT_NEAR(levelAt(iq, 1e7, 244140.625), -30, 0.5);
            EXPECT_LT(levelAt(iq, 1e7, -244140.625), -70);
        }
    } while (std::next_permutation(order, order + 3));

    // The ASCII reply ends at its line end: no read waits for more, so no timeout and no re-open.
    t.setNumPts(10000);
    EXPECT_EQ(t.getData(0).size(), static_cast<size_t>(t.getNumPTS(CUR)));
    EXPECT_EQ(t.getStatus(), VI_SUCCESS);
    EXPECT_EQ(emulator.connectionsAccepted(), 2);
    t.setDisconnect();
    // The library's facade keeps its last backend until unload; this one goes with the test.
    delete t.backend;
    t.backend = nullptr;
}
