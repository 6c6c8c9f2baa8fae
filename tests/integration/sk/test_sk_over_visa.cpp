// SK over our VISA library against the emulated SK instrument on loopback: the exchanges as the
// instrument logged them, acquisitions that deliver the asked-for points with the response taken out,
// and instrument faults ending up in the status word or the error record.
#include <gtest/gtest.h>

#include <QStringList>
#include <QtGlobal>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstring>
#include <memory>

#include "SkServer.h"
#include "backends/sk/SK.h"
#include "visa/DynamicVisa.h"

namespace {

using Clock = std::chrono::steady_clock;
using sim::sk::Fault;
constexpr double kPi = 3.14159265358979323846;

QStringList logLines;
void collect(QtMsgType, const QMessageLogContext&, const QString& text) {
    logLines << text;
}

// Fault tests run on short exchange timeouts; the instrument answers well within them.
ViStatus (*realSetAttribute)(ViObject, ViAttr, ViAttrState) = nullptr;
ViStatus quickTimeouts(ViObject vi, ViAttr attribute, ViAttrState value) {
    if (attribute == VI_ATTR_TMO_VALUE && value >= 2000) value = value == 2000 ? 300 : 600;
    return realSetAttribute(vi, attribute, value);
}

struct Exchange {
    int command;
    int parameter;
    std::vector<double> values;
    int lenFrac;
};

std::vector<Exchange> exchanges(const std::vector<sim::sk::Request>& log) {
    std::vector<Exchange> out;
    for (const auto& r : log) out.push_back({r.command, r.parameter, r.values, r.lenFrac});
    return out;
}

bool operator==(const Exchange& a, const Exchange& b) {
    return a.command == b.command && a.parameter == b.parameter && a.values == b.values &&
           a.lenFrac == b.lenFrac;
}

std::ostream& operator<<(std::ostream& os, const Exchange& e) {
    os << "{" << e.command << ", " << e.parameter << ", {";
    for (double v : e.values) os << v << " ";
    return os << "}, 0x" << std::hex << e.lenFrac << std::dec << "}";
}

// Level in dB (relative) and frequency of the strongest component within two bins of `near`, through a
// Hann window so that a tone between bins loses almost nothing.
std::pair<double, double> peakNear(const QVector<IQ_Elem>& iq, double rate, double near) {
    const int n = iq.size();
    const double bin = rate / n;
    double best = 0, where = 0;
    for (double f = near - 2 * bin; f <= near + 2 * bin; f += bin / 32) {
        std::complex<double> sum;
        for (int k = 0; k < n; ++k) {
            const double w = 0.5 - 0.5 * std::cos(2 * kPi * k / n);
            sum += w * std::complex<double>(iq[k].I, iq[k].Q) * std::polar(1.0, -2 * kPi * f * k / rate);
        }
        if (std::abs(sum) > best) best = std::abs(sum), where = f;
    }
    return {20 * std::log10(best / (n / 2.0)), where};
}

class SkOverVisa : public testing::Test {
protected:
    void SetUp() override {
        logLines.clear();
        qInstallMessageHandler(collect);
        ASSERT_EQ(visa.MissingFnCount(), 0) << "libMiVISA64 not found";
        ASSERT_TRUE(server.start("127.0.0.1", 0)) << server.error();
        std::snprintf(device.address, sizeof device.address, "TCPIP::127.0.0.1::%u::SOCKET", server.port());
        realSetAttribute = visa.viSetAttribute;
    }
    void TearDown() override {
        sk.reset();  // closes the session and the resource manager
        server.stop();
        qInstallMessageHandler(nullptr);
    }
    void connect(SkSettleTimes settle = {0, 0}) {
        sk.reset();
        status = visa.viOpenDefaultRM(&resourceManager);
        status = visa.viOpen(resourceManager, device.address, VI_EXCLUSIVE_LOCK, 5000, &session);
        ASSERT_EQ(status, VI_SUCCESS);
        sk = std::make_unique<SK>(Init{&visa, &status, &session, &resourceManager, &params, &error, &device},
                                  settle);
        ASSERT_EQ(status, VI_SUCCESS);
    }

    sim::sk::Server server;
    DynamicVisa visa{"MiVISA64"};
    ViStatus status = 1;
    ViSession session = 0, resourceManager = 0;
    Params params{1e9, 1e7, 0};
    Error error;
    DeviceData device;
    std::unique_ptr<SK> sk;
};

TEST_F(SkOverVisa, StartUpSequenceAsTheInstrumentSawIt) {
    const auto start = Clock::now();
    connect(SkSettleTimes{});
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(4000));  // both settling pauses were kept
    const std::vector<Exchange> expected{
        {1, -1, {}, 0},
        {3, 3, {17}, 0x20},
        {3, 56, {2e9, 1, 0}, 0x60},
        {3, 66, {1e5}, 0x40},
        {4, 101, {}, 0x40},
        {3, 69, {2e9}, 0x40},
        {4, 105, {}, 0x60},
        {4, 106, {}, 0x42},
        {3, 56, {1e12, 1, 0}, 0x60},
        {3, 56, {0, 1, 0}, 0x60},
        {3, 66, {1e7}, 0x40},
        {4, 101, {}, 0x40},
        {3, 66, {1e5}, 0x40},
        {4, 101, {}, 0x40},
        {3, 88, {100, 0, 1}, 0x42},
        {3, 88, {-100, 0, 1}, 0x42},
        {3, 50, {0, 8188, 1, 4096}, 0x40},  // 100 points at 1e7 over a 360 kHz response: 4096
        {3, 116, {2}, 0x20},
        {3, 116, {1}, 0x20},
    };
    const auto log = server.requests();
    EXPECT_EQ(exchanges(log), expected);
    for (std::size_t i = 0; i < log.size(); ++i) EXPECT_EQ(log[i].sequence, i + 1);
    EXPECT_EQ(sk->getParams(MIN).frequency, 10e6);
    EXPECT_EQ(sk->getParams(MAX).frequency, 18e9);
    EXPECT_EQ(sk->getParams(MIN).sampleRate, 450e3);
    EXPECT_EQ(sk->getParams(MAX).sampleRate, 12.5e6);
    EXPECT_EQ(sk->getParams(MIN).refLevel, -50);
    EXPECT_EQ(sk->getParams(MAX).refLevel, 30);
    EXPECT_EQ(server.state().calibration, 1);
    EXPECT_EQ(error.code, 0);
    EXPECT_TRUE(logLines.isEmpty()) << logLines.join("\n").toStdString();
}

TEST_F(SkOverVisa, ConfigurationExchanges) {
    connect();
    server.clearRequests();
    Params p{2.4e9, 4.5e6, -10};
    sk->setParams(p);
    sk->setNumPoints(1000);
    const std::vector<Exchange> expected{
        {3, 56, {2.4e9, 1, 0}, 0x60},
        {3, 66, {3e6}, 0x40},
        {3, 88, {-10, 0, 1}, 0x42},
        {4, 101, {}, 0x40},
        {4, 105, {}, 0x60},
        {4, 106, {}, 0x42},
        {3, 50, {0, 8188, 1, 4096}, 0x40},  // 1000 points x 2 x 1.2 rounded up
    };
    EXPECT_EQ(exchanges(server.requests()), expected);
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(params.sampleRate, 4.5e6);
    EXPECT_EQ(server.state().sampleRateHz, 4.5e6);
    EXPECT_NEAR(sk->getCurSampleRate(), 0.6 * 4.5e6, 4.5e6 / 4096);

    // What the instrument clamps comes back corrected.
    p = Params{25e9, 1.4e6, -80};
    sk->setParams(p);
    EXPECT_EQ(p.frequency, 18e9);
    EXPECT_EQ(p.sampleRate, 1.5e6);
    EXPECT_EQ(p.refLevel, -50);
    EXPECT_EQ(error.code, 101);
}

TEST_F(SkOverVisa, TonesComeOutWhereTheyAreAndFlatAcrossTheBand) {
    sim::sk::Settings settings = server.settings();
    const double offsets[] = {-1.1e6, -0.45e6, 0.2e6, 0.8e6, 1.2e6};
    settings.tones.clear();
    for (double f : offsets) settings.tones.push_back({f, -20});
    settings.tiltDb = 8;
    server.setSettings(settings);
    connect();
    Params p{2.4e9, 4.5e6, 0};
    sk->setParams(p);
    sk->setNumPoints(6000);
    QVector<IQ_Elem> out;
    sk->getData(&out);
    ASSERT_EQ(status, VI_SUCCESS);
    ASSERT_EQ(out.size(), 6000);

    const double rate = sk->getCurSampleRate();
    double lowest = 1e9, highest = -1e9, rawLowest = 1e9, rawHighest = -1e9;
    for (double f : offsets) {
        const auto [level, where] = peakNear(out, rate, f);
        EXPECT_NEAR(where, f, rate / out.size()) << f;
        lowest = std::min(lowest, level), highest = std::max(highest, level);
        const double raw = server.responseDb(2.4e9 + f);
        rawLowest = std::min(rawLowest, raw), rawHighest = std::max(rawHighest, raw);
    }
    EXPECT_GT(rawHighest - rawLowest, 4.0);  // the instrument tilts them by several dB
    EXPECT_LT(highest - lowest, 0.5);

    // The next acquisition continues in step with the instrument.
    sk->getData(&out);
    EXPECT_EQ(out.size(), 6000);
    EXPECT_EQ(sk->m_nRUNcounter, 0);
}

TEST_F(SkOverVisa, InstrumentFaultsEndInTheStatusWordOrTheErrorRecord) {
    visa.viSetAttribute = &quickTimeouts;
    QVector<IQ_Elem> out;
    auto acquireWith = [&](Fault fault) {
        connect();
        Params p{1e9, 4.5e6, 0};
        sk->setParams(p);
        sk->setNumPoints(200);
        server.injectFault(fault);
        const auto start = Clock::now();
        sk->getData(&out);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    };

    // Statuses in data replies reach the error record; an error status is held for the session.
    acquireWith(Fault{Fault::HeaderStatus, 6, -1, 0, 1, 0});
    EXPECT_EQ(error.code, 20486);
    EXPECT_EQ(error.text, "Ошибка в заголовке команды, при выполнении MI_RUN");
    ASSERT_EQ(out.size(), 200);
    EXPECT_EQ(out[100].I, 0.0);
    sk->getData(&out);
    EXPECT_EQ(out[100].I, 0.0);

    acquireWith(Fault{Fault::EmptyData, 6, -1, 0, 1, 0});
    EXPECT_EQ(error.code, 404);
    EXPECT_TRUE(out.isEmpty());
    sk->getData(&out);
    EXPECT_EQ(out.size(), 200);
    EXPECT_NE(out[100].I, 0.0);
    EXPECT_EQ(status, VI_SUCCESS);

    // Replies that are merely awkward still make an acquisition.
    for (Fault fault : {Fault{Fault::OddBodyLen, 3, 50, 0, 1, 0}, Fault{Fault::Drip, 6, -1, 0, 1, 0}}) {
        acquireWith(fault);
        EXPECT_EQ(status, VI_SUCCESS) << fault.kind;
        EXPECT_EQ(out.size(), 200) << fault.kind;
    }

    // Broken exchanges end up in the status word.
    const std::pair<Fault, ViStatus> broken[] = {
        {Fault{Fault::StopReplying, 3, 50, 0, 1, 0}, VI_ERROR_TMO},
        {Fault{Fault::CutShort, 6, -1, 0, 1, 0}, VI_ERROR_CONN_LOST},
        {Fault{Fault::BadSignature, 6, -1, 0, 1, 0}, VI_ERROR_RAW_RD_PROT_VIOL},
        {Fault{Fault::OversizedBodyLen, 6, -1, 0, 1, 0}, VI_ERROR_RAW_RD_PROT_VIOL},
    };
    for (const auto& [fault, expected] : broken) {
        acquireWith(fault);
        EXPECT_EQ(status, expected) << fault.kind;
        EXPECT_TRUE(out.isEmpty());
    }

    // A reply for another parameter is reported and used all the same.
    connect();
    server.injectFault(Fault{Fault::WrongParameterId, 3, 56, 0, 1, 0});
    Params p{1.5e9, 1.5e6, 0};
    sk->setParams(p);
    EXPECT_TRUE(logLines.contains("ASSERT: \"PID == P_RRS_FREQUENCY\" in file ..\\trelvan\\sk, line 130"));
    EXPECT_EQ(status, VI_SUCCESS);
    EXPECT_EQ(params.frequency, 1.5e9);
}

}  // namespace
