#include "HostHarness.h"

#include <cstdlib>

namespace host {

Bench::Bench(const std::string& pxaHostIn, const std::string& skHostIn, const QStringList& pxaOptions)
    : pxaHost(pxaHostIn), skHost(skHostIn) {
    pxa.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sk.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Through setpriv, so that an emulator goes with a test that crashes instead of holding its address
    // against the next run.
    const QStringList dieWithUs{"--pdeathsig", "TERM"};
    pxa.start("setpriv", dieWithUs + QStringList{SIM_PXA_PROGRAM, "--listen", QString::fromStdString(pxaHost + ":5025")} +
                             pxaOptions);
    sk.start("setpriv", dieWithUs + QStringList{SIM_SK_PROGRAM, "--listen", QString::fromStdString(skHost + ":8888")});
    const std::string entries = "TCPIP0::" + pxaHost + "::5025::SOCKET;TCPIP0::" + skHost +
                                "::8888::SOCKET|manufacturer=Reruro|model=К4-Э1|serial=1042";
    setenv("MIVISA_RESOURCES", entries.c_str(), 1);
    setenv("MIVISA_PROBE_TIMEOUT_MS", "500", 1);
}

Bench::~Bench() {
    for (QProcess* p : {&pxa, &sk}) {
        p->terminate();
        if (!p->waitForFinished(3000)) p->kill();
        p->waitForFinished(3000);
    }
}

// Ready once each has said where it listens.
bool Bench::running() {
    for (QProcess* p : {&pxa, &sk})
        if (!(p->waitForStarted(5000) && (p->bytesAvailable() > 0 || p->waitForReadyRead(5000)))) return false;
    return true;
}

const DeviceData* find(const std::vector<DeviceData>& list, const std::string& address) {
    for (const DeviceData& d : list)
        if (!d.busy && address == d.address) return &d;
    return nullptr;
}

}  // namespace host
