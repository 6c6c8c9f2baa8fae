#include "Acquire.h"

#include <QJsonArray>
#include <QJsonObject>
#include <cmath>

#include "Args.h"
#include "Device.h"
#include "Plot.h"
#include "Spectrum.h"

namespace cli {

namespace {

const char* const kRecorder = "trelvan 0.1.0";

QJsonObject paramsJson(const Params& p, int points) {
    return {{"frequency", p.frequency}, {"sample_rate", p.sampleRate}, {"ref_level", p.refLevel}, {"points", points}};
}

QJsonArray errorsJson(const QVector<Error>& errors) {
    QJsonArray out;
    for (const auto& e : realErrors(errors)) out.append(QJsonObject{{"code", e.code}, {"text", e.text.trimmed()}});
    return out;
}

bool differs(double a, double b) { return std::fabs(a - b) > 1e-9 * std::max(std::fabs(a), std::fabs(b)); }

}  // namespace

Limits readLimits() {
    Limits l;
    l.min = getParameters(MIN);
    l.max = getParameters(MAX);
    l.minPoints = getNumPTS(MIN);
    l.maxPoints = getNumPTS(MAX);
    return l;
}

Applied configure(const Request& r) {
    setParam(Params{r.frequencyHz, r.sampleRateHz, r.refLevelDbm});
    setNumPts(r.points);
    Applied a;
    a.current = getParameters(CUR);
    a.deliveredRateHz = getCurSampleRate();
    a.points = getNumPTS(CUR);
    a.errors = getError();
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

QString outsideLimits(const Request& r, const Limits& l) {
    // An instrument that reports no upper limit (0) is taken at its word for the rest.
    if (l.max.sampleRate > 0 && (r.sampleRateHz < l.min.sampleRate || r.sampleRateHz > l.max.sampleRate))
        return QStringLiteral("sample rate %1 is outside the instrument's limits %2 to %3")
            .arg(formatHz(r.sampleRateHz), formatHz(l.min.sampleRate), formatHz(l.max.sampleRate));
    if (l.max.frequency > 0 && (r.frequencyHz < l.min.frequency || r.frequencyHz > l.max.frequency))
        return QStringLiteral("centre frequency %1 is outside the instrument's limits %2 to %3")
            .arg(formatHz(r.frequencyHz), formatHz(l.min.frequency), formatHz(l.max.frequency));
    if (l.max.refLevel > l.min.refLevel && (r.refLevelDbm < l.min.refLevel || r.refLevelDbm > l.max.refLevel))
        return QStringLiteral("reference level %1 dBm is outside the instrument's limits %2 to %3 dBm")
            .arg(r.refLevelDbm)
            .arg(l.min.refLevel)
            .arg(l.max.refLevel);
    // Not every instrument reports limits for the number of points, so a changed count is only shown.
    return {};
}

Acquisition acquire(const Request& r, Applied& a, const std::function<void(int)>& progress) {
    Acquisition acq;
    QVector<IQ_Elem> block;
    const QVector<Error> setupErrors = realErrors(a.errors);
    for (int k = 0; k < r.blocks; ++k) {
        const QString when = utcNow();
        getData(&block);
        acq.status = getStatus();
        QJsonArray errors;
        // Reports already made during configuration stay pending in the library; list only new ones.
        for (const auto& e : realErrors(getError())) {
            bool seen = false;
            for (const auto& s : setupErrors) seen = seen || (s.code == e.code && s.text == e.text);
            if (!seen) errors.append(QJsonObject{{"code", e.code}, {"text", e.text.trimmed()}});
        }
        if (block.isEmpty()) {
            ++acq.emptyBlocks;
        } else {
            Capture c;
            c.sampleStart = static_cast<qint64>(acq.samples.size());
            c.frequencyHz = a.current.frequency;
            c.datetime = when;
            c.errors = errors;
            acq.captures.push_back(c);
            acq.samples.reserve(acq.samples.size() + block.size());
            for (const auto& s : block) acq.samples.emplace_back(s.I, s.Q);
        }
        if (progress) progress(k + 1);
        if (acq.status != 0) break;
    }
    acq.deliveredRateHz = getCurSampleRate();
    if (acq.deliveredRateHz > 0) a.deliveredRateHz = acq.deliveredRateHz;
    return acq;
}

Recording makeRecording(const DeviceData& d, const Request& r, const Limits& l, const Applied& a,
                        Acquisition&& acq, DataType type) {
    Recording rec;
    rec.dataType = type;
    // The rate the samples really have, which may not be the one asked for.
    rec.sampleRateHz = a.deliveredRateHz > 0 ? a.deliveredRateHz : a.current.sampleRate;
    const QString model = QString::fromStdString(d.model);
    const QString serial = QString::fromStdString(d.serial);
    rec.hw = serial.isEmpty() ? model : QStringLiteral("%1, serial %2").arg(model, serial);
    rec.recorder = kRecorder;
    rec.description = QStringLiteral("%1 block(s) of %2 I/Q samples from %3 at %4, sample rate %5, ref %6 dBm")
                          .arg(acq.captures.size())
                          .arg(a.points)
                          .arg(model.isEmpty() ? QStringLiteral("an instrument") : model)
                          .arg(formatHz(a.current.frequency))
                          .arg(formatHz(rec.sampleRateHz))
                          .arg(a.current.refLevel);
    rec.captures = std::move(acq.captures);
    rec.samples = std::move(acq.samples);
    rec.extension["model"] = model;
    rec.extension["serial"] = serial;
    rec.extension["address"] = addressOf(d);
    rec.extension["requested"] =
        paramsJson(Params{r.frequencyHz, r.sampleRateHz, r.refLevelDbm}, r.points);
    QJsonObject settings = paramsJson(a.current, a.points);
    settings["delivered_sample_rate"] = a.deliveredRateHz;
    rec.extension["settings"] = settings;
    rec.extension["limits"] =
        QJsonObject{{"min", paramsJson(l.min, l.minPoints)}, {"max", paramsJson(l.max, l.maxPoints)}};
    rec.extension["errors"] = errorsJson(a.errors);
    rec.extension["empty_blocks"] = acq.emptyBlocks;
    rec.extension["status"] = acq.status;
    return rec;
}

QString settingsLine(const Recording& rec) {
    const QJsonObject s = rec.extension.value("settings").toObject();
    const double centre = rec.captures.empty() ? s.value("frequency").toDouble() : rec.captures[0].frequencyHz;
    QString line = QStringLiteral("centre %1, sample rate %2").arg(formatHz(centre), formatHz(rec.sampleRateHz));
    if (s.contains("ref_level")) line += QStringLiteral(", ref %1 dBm").arg(s.value("ref_level").toInt());
    line += QStringLiteral(", %1 samples in %2 block(s)").arg(rec.samples.size()).arg(rec.captures.size());
    return line;
}

bool plotRecording(const Recording& rec, const QString& png, QString& error) {
    const double centre = rec.captures.empty() ? 0.0 : rec.captures[0].frequencyHz;
    std::vector<std::size_t> starts;
    for (const auto& c : rec.captures) starts.push_back(static_cast<std::size_t>(c.sampleStart));
    const Spectrum s = averagedSpectrum(rec.samples, centre, rec.sampleRateHz, 4096, starts);
    if (s.power.empty()) {
        error = QStringLiteral("the recording holds too few samples to plot");
        return false;
    }
    PlotText text;
    text.title = rec.hw.isEmpty() ? QStringLiteral("Spectrum") : rec.hw;
    text.subtitle = settingsLine(rec) +
                    QStringLiteral(", RBW %1, %2 averages").arg(formatHzApprox(s.binHz() * s.enbwBins)).arg(s.blocks);
    return savePng(renderSpectrum(s, text), png, error);
}

}  // namespace cli
