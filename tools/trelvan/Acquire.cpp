#include "Acquire.h"

#include <QJsonArray>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <memory>

#include "Args.h"
#include "Cli.h"
#include "Device.h"
#include "Plot.h"
#include "Spectrum.h"
#include "Supervisor.h"

namespace cli {

namespace {

QJsonObject paramsJson(const Params& p, int points) {
    return {{"frequency", p.frequency}, {"sample_rate", p.sampleRate}, {"ref_level", p.refLevel}, {"points", points}};
}

QJsonArray errorsJson(const QVector<Error>& errors) {
    QJsonArray out;
    for (const auto& e : errors) out.append(QJsonObject{{"code", e.code}, {"text", e.text.trimmed()}});
    return out;
}

bool differs(double a, double b) { return std::fabs(a - b) > 1e-9 * std::max(std::fabs(a), std::fabs(b)); }

}  // namespace

Limits readLimits() {
    Limits l;
    const Params lo = getParameters(MIN), hi = getParameters(MAX);
    const auto pair = [](auto a, auto b, auto* out) {
        out[0] = std::min(a, b);
        out[1] = std::max(a, b);
    };
    pair(lo.frequency, hi.frequency, l.frequency);
    pair(lo.sampleRate, hi.sampleRate, l.sampleRate);
    pair(lo.refLevel, hi.refLevel, l.refLevel);
    // Derived from resolution bandwidths, the lower bandwidth gives the larger count.
    pair(getNumPTS(MIN), getNumPTS(MAX), l.points);
    l.pointsAtRateHz = getCurSampleRate();
    return l;
}

InstrumentFacts readFacts(Limits& l) {
    const InstrumentFacts f = connectedFacts(trelvan);
    if (f.maxPoints >= f.minPoints && f.maxPoints > 0) {
        l.points[0] = f.minPoints;
        l.points[1] = f.maxPoints;
    }
    if (!f.continuousRates) l.pointsAtRateHz = 0;
    return f;
}

QString ratesText(const InstrumentFacts& f) {
    if (f.rates.empty()) return QStringLiteral("not reported");
    if (f.continuousRates) return formatHz(f.rates.front().delivered) + ".." + formatHz(f.rates.back().delivered);
    QStringList each;
    for (const RateChoice& c : f.rates) each << formatHz(c.delivered);
    return each.join(", ");
}

bool chooseRate(const InstrumentFacts& f, double wish, bool nearest, RateChoice& out, QString& refusal) {
    out = {wish, wish};
    if (f.rates.empty() || (f.continuousRates && !nearest)) return true;
    if (f.continuousRates || nearest) {
        out = nearestRate(f, wish);
        return true;
    }
    const RateChoice* below = nullptr;
    const RateChoice* above = nullptr;
    for (const RateChoice& c : f.rates) {
        if (std::fabs(c.delivered - wish) <= 1e-6 * c.delivered) {
            out = c;
            return true;
        }
        if (c.delivered < wish) below = &c;
        else if (above == nullptr) above = &c;
    }
    refusal = QStringLiteral("sample rate %1 is not one the instrument delivers; nearest deliverable: %2 below, %3 above")
                  .arg(formatHz(wish), below ? formatHz(below->delivered) : QStringLiteral("none"),
                       above ? formatHz(above->delivered) : QStringLiteral("none"));
    return false;
}

QStringList outsideLimits(const Request& r, const Limits& l) {
    QStringList out;
    // A pair that is not a range (0 to 0, or one value twice) is an instrument that reports none.
    const auto ranged = [](auto* p) { return p[1] > p[0]; };
    if (ranged(l.frequency) && (r.frequencyHz < l.frequency[0] || r.frequencyHz > l.frequency[1]))
        out << QStringLiteral("centre frequency %1 is outside the instrument's limits %2 to %3")
                   .arg(formatHz(r.frequencyHz), formatHz(l.frequency[0]), formatHz(l.frequency[1]));
    if (ranged(l.sampleRate) && (r.sampleRateHz < l.sampleRate[0] || r.sampleRateHz > l.sampleRate[1]))
        out << QStringLiteral("sample rate %1 is outside the instrument's limits %2 to %3")
                   .arg(formatHz(r.sampleRateHz), formatHz(l.sampleRate[0]), formatHz(l.sampleRate[1]));
    if (ranged(l.refLevel) && (r.refLevelDbm < l.refLevel[0] || r.refLevelDbm > l.refLevel[1]))
        out << QStringLiteral("reference level %1 dBm is outside the instrument's limits %2 to %3 dBm")
                   .arg(r.refLevelDbm)
                   .arg(l.refLevel[0])
                   .arg(l.refLevel[1]);
    if (ranged(l.points) && l.pointsAtRateHz <= 0 && (r.points < l.points[0] || r.points > l.points[1]))
        out << QStringLiteral("%1 points are outside the instrument's limits %2 to %3").arg(r.points).arg(l.points[0]).arg(l.points[1]);
    if (ranged(l.points) && l.pointsAtRateHz > 0) {
        // The point limits follow the sample rate: the same bandwidths hold more points at a higher rate.
        const double k = r.sampleRateHz / l.pointsAtRateHz;
        const double lo = std::ceil(l.points[0] * k - 1e-6), hi = std::floor(l.points[1] * k + 1e-6);
        if (r.points < lo || r.points > hi)
            out << QStringLiteral("%1 points are outside the instrument's limits %2 to %3 at %4")
                       .arg(r.points)
                       .arg(lo, 0, 'f', 0)
                       .arg(hi, 0, 'f', 0)
                       .arg(formatHz(r.sampleRateHz));
    }
    return out;
}

Applied configure(const Request& r) {
    setParam(Params{r.frequencyHz, r.sampleRateHz, r.refLevelDbm});
    setNumPts(r.points);
    Applied a;
    a.current = getParameters(CUR);
    a.deliveredRateHz = getCurSampleRate();
    a.points = getNumPTS(CUR);
    a.errors = realErrors(getError());
    return a;
}

QStringList differences(const Request& r, const Applied& a) {
    QStringList out;
    if (differs(r.frequencyHz, a.current.frequency))
        out << QStringLiteral("centre frequency: requested %1, set %2")
                   .arg(formatHz(r.frequencyHz), formatHz(a.current.frequency));
    if (differs(r.sampleRateHz, a.deliveredRateHz))
        out << QStringLiteral("sample rate: requested %1, delivered %2")
                   .arg(formatHz(r.sampleRateHz), formatHz(a.deliveredRateHz));
    if (r.refLevelDbm != a.current.refLevel)
        out << QStringLiteral("reference level: requested %1 dBm, set %2 dBm").arg(r.refLevelDbm).arg(a.current.refLevel);
    if (r.points != a.points) out << QStringLiteral("points: requested %1, set %2").arg(r.points).arg(a.points);
    return out;
}

Acquisition acquire(const Request& r, Applied& a,
                    const std::function<bool(const QVector<IQ_Elem>&, const Capture&)>& sink,
                    const std::function<bool(const Acquisition&)>& keepGoing) {
    Acquisition acq;
    QVector<IQ_Elem> block;
    const QString silent = stoppedAnswering("block", r.blockTimeoutS);
    while (r.blocks == 0 || acq.blocks < r.blocks) {
        const QString when = utcNow();
        std::vector<Annotation> reported;
        Capture c;
        {
            std::unique_ptr<supervisor::Bound> bound;
            if (r.blockTimeoutS > 0) bound.reset(new supervisor::Bound(r.blockTimeoutS, silent));
            getData(&block);
            acq.status = getStatus();
            c.sampleStart = acq.samples;
            c.frequencyHz = a.current.frequency;
            c.datetime = when;
            // Reports already made during configuration stay pending in the library; list only new ones.
            for (const auto& e : realErrors(getError())) {
                bool seen = false;
                for (const auto& s : a.errors) seen = seen || (s.code == e.code && s.text == e.text);
                if (seen) continue;
                c.errors.append(QJsonObject{{"code", e.code}, {"text", e.text.trimmed()}});
                reported.push_back({acq.samples, block.size(), e.code, e.text.trimmed()});
            }
        }
        if (!block.isEmpty() && !sink(block, c)) break;
        ++acq.blocks;
        acq.annotations.insert(acq.annotations.end(), reported.begin(), reported.end());
        if (block.isEmpty()) ++acq.emptyBlocks;
        else if (block.size() < r.points) ++acq.shortBlocks;
        if (!block.isEmpty()) {
            acq.captures.push_back(c);
            acq.samples += block.size();
        }
        if (acq.status != 0 || (keepGoing && !keepGoing(acq))) break;
    }
    acq.deliveredRateHz = getCurSampleRate();
    if (acq.deliveredRateHz > 0) a.deliveredRateHz = acq.deliveredRateHz;
    return acq;
}

Recording describeRecording(const DeviceData& d, const SampleUnit& unit, const Request& r, const Limits& l,
                            const Applied& a, const Acquisition& acq, DataType type) {
    Recording rec;
    rec.dataType = type;
    // The rate the samples really have, which may not be the one asked for.
    rec.sampleRateHz = a.deliveredRateHz > 0 ? a.deliveredRateHz : a.current.sampleRate;
    const QString model = QString::fromStdString(d.model);
    const QString serial = QString::fromStdString(d.serial);
    rec.hw = serial.isEmpty() ? model : QStringLiteral("%1, serial %2").arg(model, serial);
    rec.recorder = QStringLiteral("trelvan %1").arg(kVersion);
    rec.description = QStringLiteral("%1 block(s) of %2 I/Q samples from %3 at %4, sample rate %5, ref %6 dBm, in %7s")
                          .arg(acq.captures.size())
                          .arg(a.points)
                          .arg(model.isEmpty() ? QStringLiteral("an instrument") : model)
                          .arg(formatHz(a.current.frequency))
                          .arg(formatHz(rec.sampleRateHz))
                          .arg(a.current.refLevel)
                          .arg(unit.name);
    rec.captures = acq.captures;
    rec.annotations = acq.annotations;
    // What went wrong while the settings were applied concerns every sample.
    for (const auto& e : a.errors) rec.annotations.push_back({0, acq.samples, e.code, e.text.trimmed()});
    rec.extension["model"] = model;
    rec.extension["serial"] = serial;
    rec.extension["address"] = addressOf(d);
    rec.extension["driver"] = driverOf(d);
    rec.extension["sample_unit"] = unit.name;
    if (unit.voltsPerUnit > 0) rec.extension["volts_per_unit"] = unit.voltsPerUnit;
    rec.extension["impedance_ohms"] = 50;
    rec.extension["requested"] = paramsJson(Params{r.frequencyHz, r.sampleRateHz, r.refLevelDbm}, r.points);
    QJsonObject settings = paramsJson(a.current, a.points);
    settings["delivered_sample_rate"] = a.deliveredRateHz;
    rec.extension["settings"] = settings;
    rec.extension["limits"] = QJsonObject{
        {"min", paramsJson(Params{l.frequency[0], l.sampleRate[0], l.refLevel[0]}, l.points[0])},
        {"max", paramsJson(Params{l.frequency[1], l.sampleRate[1], l.refLevel[1]}, l.points[1])}};
    rec.extension["errors"] = errorsJson(a.errors);
    rec.extension["blocks"] = acq.blocks;
    rec.extension["empty_blocks"] = acq.emptyBlocks;
    rec.extension["short_blocks"] = acq.shortBlocks;
    rec.extension["status"] = acq.status;
    return rec;
}

QString settingsLine(const Recording& rec) {
    const QJsonObject s = rec.extension.value("settings").toObject();
    const double centre = rec.captures.empty() ? s.value("frequency").toDouble() : rec.captures[0].frequencyHz;
    QString line = QStringLiteral("centre %1, sample rate %2").arg(formatHz(centre), formatHz(rec.sampleRateHz));
    if (s.contains("ref_level")) line += QStringLiteral(", ref %1 dBm").arg(s.value("ref_level").toInt());
    const qint64 n = rec.sampleCount >= 0 ? rec.sampleCount : static_cast<qint64>(rec.samples.size());
    line += QStringLiteral(", %1 samples in %2 block(s)").arg(n).arg(rec.captures.size());
    return line;
}

int plotViewOptions(const ParsedArgs& a, Io& io, const QString& command, PlotView& view) {
    if (a.values.contains("center") && (!parseNumber(a.value("center"), view.centreHz) || view.centreHz <= 0))
        return usageError(io, command, "--center must be a positive frequency");
    if (a.values.contains("span") && (!parseNumber(a.value("span"), view.spanHz) || view.spanHz <= 0))
        return usageError(io, command, "--span must be a positive frequency");
    if (a.values.contains("window") && !windowFromName(a.value("window"), view.window))
        return usageError(io, command, QStringLiteral("--window: '%1' is not hann, flattop or rect").arg(a.value("window")));
    return kOk;
}

bool plotSpectrum(const Spectrum& s, const Recording& rec, const PlotView& view, const QString& png, QString& error) {
    if (s.power.empty()) {
        error = QStringLiteral("the recording holds too few samples to plot");
        return false;
    }
    PlotText text;
    text.title = rec.hw.isEmpty() ? QStringLiteral("Spectrum") : rec.hw;
    text.subtitle = settingsLine(rec) +
                    QStringLiteral(", RBW %1, %2 averages").arg(formatHzApprox(s.binHz() * s.enbwBins)).arg(s.blocks);
    const LevelScale scale = levelScaleOf(rec);
    text.levelUnit = scale.unit;
    text.offsetDb = scale.offsetDb;
    const QJsonObject settings = rec.extension.value("settings").toObject();
    if (scale.absolute && settings.contains("ref_level")) {
        text.hasReference = true;
        text.referenceDb = settings.value("ref_level").toDouble();
    }
    text.centreHz = view.centreHz;
    text.spanHz = view.spanHz;
    return savePng(renderSpectrum(s, text), png, error);
}

bool plotRecording(const Recording& rec, const PlotView& view, const QString& png, QString& error) {
    const double centre = rec.captures.empty() ? 0.0 : rec.captures[0].frequencyHz;
    std::vector<std::size_t> starts;
    for (const auto& c : rec.captures) starts.push_back(static_cast<std::size_t>(c.sampleStart));
    return plotSpectrum(averagedSpectrum(rec.samples, centre, rec.sampleRateHz, 4096, starts, view.window), rec, view,
                        png, error);
}

}  // namespace cli
