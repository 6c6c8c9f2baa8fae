// trelvan info: an instrument's limits and current settings.
#include "Acquire.h"
#include "Args.h"
#include "Cli.h"
#include "Device.h"

namespace cli {

namespace {

int runInfo(const ParsedArgs& a, Io& io) {
    Connection connection;
    DeviceData device;
    QString error;
    if (!connectTo(a.positional[0], connection, device, error)) return fail(io, "info", error);

    const Limits l = readLimits();
    const Params cur = getParameters(CUR);
    const int points = getNumPTS(CUR);
    const double delivered = getCurSampleRate();
    const auto row = [&io](const QString& name, const QString& lo, const QString& hi, const QString& now) {
        io.out << name.leftJustified(18) << lo.leftJustified(18) << hi.leftJustified(18) << now << "\n";
    };
    const auto dbm = [](int v) { return QStringLiteral("%1 dBm").arg(v); };
    io.out << "instrument        " << describe(device) << "\n\n";
    row("", "MIN", "MAX", "CURRENT");
    row("centre frequency", formatHz(l.min.frequency), formatHz(l.max.frequency), formatHz(cur.frequency));
    row("sample rate", formatHz(l.min.sampleRate), formatHz(l.max.sampleRate), formatHz(cur.sampleRate));
    row("reference level", dbm(l.min.refLevel), dbm(l.max.refLevel), dbm(cur.refLevel));
    row("points", QString::number(l.minPoints), QString::number(l.maxPoints), QString::number(points));
    io.out << "\ndelivered sample rate  " << formatHz(delivered) << "\n";
    const QString reported = errorsLine(getError());
    if (!reported.isEmpty()) io.out << "library reports        " << reported << "\n";
    const int status = getStatus();
    if (status != 0) return fail(io, "info", QStringLiteral("instrument status %1").arg(statusText(status)));
    return kOk;
}

}  // namespace

Command infoCommand() {
    return {"info", "DEVICE", "Show an instrument's limits (MIN, MAX), current settings, points and delivered sample rate.",
            "DEVICE is an index from 'trelvan list', an address or a serial number.", {}, 1, 1, runInfo};
}

}  // namespace cli
