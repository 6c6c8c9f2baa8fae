// trelvan info: an instrument's limits and current settings.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "Acquire.h"
#include "Args.h"
#include "Cli.h"
#include "Device.h"
#include "Supervisor.h"

namespace cli {

namespace {

int runInfo(const ParsedArgs& a, Io& io) {
    Connection connection;
    DeviceData device;
    if (const int rc = connectTo(a.device, connection, device, io, "info")) return rc;

    Limits l;
    InstrumentFacts facts;
    Params cur{0, 0, 0};
    int points = 0, status = 0;
    double delivered = 0;
    QVector<Error> reported;
    {
        supervisor::Bound bound(kLibraryBoundS, stoppedAnswering("reply while its settings were read"));
        l = readLimits();
        facts = readFacts(l);
        cur = getParameters(CUR);
        points = getNumPTS(CUR);
        delivered = getCurSampleRate();
        reported = realErrors(getError());
        status = getStatus();
    }
    const SampleUnit unit = sampleUnitOf(device);
    if (a.flags.contains("json")) {
        const auto range = [](auto lo, auto hi, auto now) { return QJsonObject{{"min", lo}, {"max", hi}, {"current", now}}; };
        QJsonArray errors;
        for (const auto& e : reported) errors.append(QJsonObject{{"code", e.code}, {"text", e.text.trimmed()}});
        QJsonArray rates;
        for (const RateChoice& c : facts.rates) rates.append(QJsonObject{{"delivered", c.delivered}, {"request", c.request}});
        QJsonObject o{{"model", QString::fromStdString(device.model)},
                      {"serial", QString::fromStdString(device.serial)},
                      {"address", addressOf(device)},
                      {"driver", driverOf(device)},
                      {"frequency", range(l.frequency[0], l.frequency[1], cur.frequency)},
                      {"sample_rate", range(l.sampleRate[0], l.sampleRate[1], cur.sampleRate)},
                      {"sample_rates", rates},
                      {"continuous_sample_rates", facts.continuousRates},
                      {"ref_level", range(l.refLevel[0], l.refLevel[1], cur.refLevel)},
                      {"points", range(l.points[0], l.points[1], points)},
                      {"points_meaning", QString::fromStdString(facts.pointsMeaning)},
                      {"delivered_sample_rate", delivered},
                      {"sample_unit", unit.name},
                      {"status", status},
                      {"errors", errors}};
        if (unit.voltsPerUnit > 0) o["volts_per_unit"] = unit.voltsPerUnit;
        if (status != 0) io.lastError = QStringLiteral("instrument status %1").arg(statusText(status));
        printJson(io, o, status != 0 ? kFailed : kOk);
    } else {
        const auto row = [&io](const QString& name, const QString& lo, const QString& hi, const QString& now) {
            io.out << name.leftJustified(18) << lo.leftJustified(18) << hi.leftJustified(18) << now << "\n";
        };
        const auto dbm = [](int v) { return QStringLiteral("%1 dBm").arg(v); };
        io.out << "instrument        " << describe(device) << "\n\n";
        row("", "MIN", "MAX", "CURRENT");
        row("centre frequency", formatHz(l.frequency[0]), formatHz(l.frequency[1]), formatHz(cur.frequency));
        row("sample rate", formatHz(l.sampleRate[0]), formatHz(l.sampleRate[1]), formatHz(cur.sampleRate));
        row("reference level", dbm(l.refLevel[0]), dbm(l.refLevel[1]), dbm(cur.refLevel));
        row("points", QString::number(l.points[0]), QString::number(l.points[1]), QString::number(points));
        io.out << "\ndelivered sample rate  " << formatHz(delivered) << "\n";
        io.out << "sample rates           " << ratesText(facts)
               << (facts.continuousRates ? QStringLiteral(" (any rate between)")
                                         : QStringLiteral(" (at %1 points; capture --rate takes one of them)").arg(points))
               << "\n";
        if (!facts.pointsMeaning.empty()) io.out << "points mean            " << QString::fromStdString(facts.pointsMeaning) << "\n";
        io.out << "samples in             " << unit.name << "s\n";
        if (!reported.isEmpty()) io.out << "library reports        " << errorsLine(reported) << "\n";
    }
    if (status != 0) return fail(io, "info", QStringLiteral("instrument status %1").arg(statusText(status)));
    return kOk;
}

}  // namespace

Command infoCommand() {
    Command c{"info", "[DEVICE]", "Show an instrument's limits (MIN, MAX), current settings, points and delivered sample rate.",
              "Also the sample rates it can deliver: a range MIN..MAX for an N9030A, else each rate of its set\n"
              "(an SK instrument's set follows the points), and what its points limits mean. The N9030A's\n"
              "point limits hold at the current sample rate. An instrument that discovery reports as busy\n"
              "is not connected.",
              {{"json", "", "print a JSON object instead of a table"}}, 0, 1, runInfo};
    c.takesDevice = true;
    return c;
}

}  // namespace cli
