#include "HostHarness.h"

#include <QProcessEnvironment>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace host {

Emulator::Emulator(const std::string& program, const std::string& listen, const std::vector<std::string>& options)
    : process_(new QProcess) {
    QStringList args{QStringLiteral("--listen"), QString::fromStdString(listen)};
    for (const std::string& o : options) args << QString::fromStdString(o);
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(QString::fromStdString(program), args);
    // Ready once it has said where it listens.
    ready_ = process_->waitForStarted(5000) && process_->waitForReadyRead(5000);
}

Emulator::~Emulator() {
    process_->terminate();
    if (!process_->waitForFinished(3000)) {
        process_->kill();
        process_->waitForFinished(3000);
    }
}

bool Emulator::running() const { return ready_ && process_->state() == QProcess::Running; }

Bench::Bench(const std::string& pxaHostIn, const std::string& skHostIn, const std::string& extraEntries,
             const std::vector<std::string>& pxaOptions)
    : pxaHost(pxaHostIn), skHost(skHostIn) {
    pxa.reset(new Emulator(SIM_PXA_PROGRAM, pxaHost + ":5025", pxaOptions));
    sk.reset(new Emulator(SIM_SK_PROGRAM, skHost + ":8888"));
    std::string entries = "TCPIP0::" + pxaHost + "::5025::SOCKET;TCPIP0::" + skHost +
                          "::8888::SOCKET|manufacturer=Reruro|model=К4-Э1|serial=1042";
    if (!extraEntries.empty()) entries += ";" + extraEntries;
    setenv("MIVISA_RESOURCES", entries.c_str(), 1);
    setenv("MIVISA_PROBE_TIMEOUT_MS", "500", 1);
}

std::string Bench::pxaAddress() const { return "TCPIP0::" + pxaHost + "::5025::SOCKET"; }
std::string Bench::skAddress() const { return "TCPIP::" + skHost + "::8888::SOCKET"; }

const DeviceData* find(const std::vector<DeviceData>& list, const std::string& address) {
    for (const DeviceData& d : list)
        if (!d.busy && address == d.address) return &d;
    return nullptr;
}

double strongestOffsetHz(const QVector<IQ_Elem>& block, double sampleRate) {
    const int n = std::min(block.size(), 2048);
    if (n == 0) return NAN;
    int best = 0;
    double bestPower = -1;
    const double pi = std::acos(-1.0);
    for (int k = 0; k < n; ++k) {
        std::complex<double> sum = 0;
        const std::complex<double> step = std::polar(1.0, -2 * pi * k / n);
        std::complex<double> w = 1;
        for (int i = 0; i < n; ++i) {
            sum += std::complex<double>(block[i].I, block[i].Q) * w;
            w *= step;
        }
        if (std::norm(sum) > bestPower) {
            bestPower = std::norm(sum);
            best = k;
        }
    }
    const int signedBin = best <= n / 2 ? best : best - n;
    return signedBin * sampleRate / n;
}

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

}  // namespace host
