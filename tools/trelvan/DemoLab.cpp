#include "DemoLab.h"

#include <trelvan/Backend.h>

#include <QStringList>
#include <cmath>
#include <random>

#include "PxaEmulator.h"
#include "SkServer.h"
#if defined(TRELVAN_DEMO_HTRA_SIM)
#include "HtraSim.h"
#endif

namespace cli {

namespace {

// Discovery builds the addresses with these fixed ports, so each emulator needs a loopback address of
// its own on which that port is free.
constexpr uint16_t kPxaPort = 5025;
constexpr uint16_t kSkPort = 8888;
constexpr int kAddressAttempts = 40;
constexpr double kNoiseDbm = -90.0;
// The emulated SK instrument's converter: counts per volt, and its model text.
constexpr double kSkCountsPerVolt = 1e9;
constexpr char kSkModel[] = "К4-Э1";

// Volts per corrected count of the emulated SK instrument: the library's full scale in corrected counts
// stands for the converter's full scale of 2^31 counts.
double skVoltsPerUnit() {
    DeviceData sk;
    sk.model = kSkModel;
    return 2147483648.0 / kSkCountsPerVolt / instrumentFacts(sk).fullScale;
}

template <class Start>
bool startOnFreeAddress(std::mt19937& gen, Start start, QString& chosen) {
    std::uniform_int_distribution<int> octet(2, 254);
    for (int i = 0; i < kAddressAttempts; ++i) {
        const QString host = QStringLiteral("127.%1.%2.%3").arg(octet(gen)).arg(octet(gen)).arg(octet(gen));
        if (start(host.toStdString())) {
            chosen = host;
            return true;
        }
    }
    return false;
}

}  // namespace

struct DemoLab::Impl {
    sim::PxaEmulator pxa;
    std::unique_ptr<sim::sk::Server> sk;
};

DemoLab::DemoLab() : impl_(new Impl) {}
DemoLab::~DemoLab() = default;

bool DemoLab::start(QString& error) {
    std::mt19937 gen(std::random_device{}());

    DemoInstrument pxa{"pxa-n9030a", {}, false, {1e9, 10e6, -10, 8192, 4}, 1.5e6, -20.0, 0.0};
    impl_->pxa.setTone(pxa.toneOffsetHz, pxa.toneLevelDbm);
    impl_->pxa.setNoiseDbm(kNoiseDbm);
    impl_->pxa.setSerial("DEMO-PXA");
    QString pxaHost;
    if (!startOnFreeAddress(gen, [this](const std::string& h) { return impl_->pxa.start(h, kPxaPort); }, pxaHost)) {
        error = QStringLiteral("no loopback address with port %1 free for the emulated N9030A").arg(kPxaPort);
        return false;
    }
    pxa.addressHint = QStringLiteral("::%1::").arg(pxaHost);

    DemoInstrument sk{"sk-k4", {}, false, {2.4e9, 7.5e6, 0, 8192, 4}, 600e3, -25.0,
                      skVoltsPerUnit()};
    sim::sk::Settings settings;
    settings.countsPerVolt = kSkCountsPerVolt;
    settings.tones = {{sk.toneOffsetHz, sk.toneLevelDbm}};
    settings.noiseDbm = kNoiseDbm;
    impl_->sk.reset(new sim::sk::Server(settings));
    QString skHost;
    if (!startOnFreeAddress(gen, [this](const std::string& h) { return impl_->sk->start(h, kSkPort); }, skHost)) {
        error = QStringLiteral("no loopback address with port %1 free for the emulated SK instrument").arg(kSkPort);
        return false;
    }
    sk.addressHint = QStringLiteral("::%1::").arg(skHost);
    instruments_ = {pxa, sk};

#if defined(TRELVAN_DEMO_HTRA_SIM)
    DemoInstrument usb{"harogic-usb", {}, true, {900e6, 15e6, -10, 8192, 4}, -2e6, -30.0, 0.0};
    qputenv("TRELVAN_SIMULATED_USB", "1");
    HtraSim_Reset();
    HtraSim_SetSignal(0, usb.toneOffsetHz, usb.toneLevelDbm, kNoiseDbm);
    instruments_.push_back(usb);
#else
    skipped_ = QStringLiteral("the simulated USB device: this build drives a vendor htra_api");
#endif

    // The identities are given with the resources, so discovery needs no query to learn them.
    const QStringList resources{
        QStringLiteral("TCPIP0::%1::%2::SOCKET|manufacturer=Keysight Technologies|model=N9030A|serial=DEMO-PXA")
            .arg(pxaHost)
            .arg(kPxaPort),
        QStringLiteral("TCPIP0::%1::%2::SOCKET|manufacturer=Reruro|model=%3|serial=DEMO-SK")
            .arg(skHost)
            .arg(kSkPort)
            .arg(QString::fromUtf8(kSkModel))};
    qputenv("MIVISA_RESOURCES", resources.join(';').toUtf8());
    return true;
}

}  // namespace cli
