// trelvan capture: check a request against an instrument's limits, configure it, and stream the blocks
// to a SigMF recording (or stdout) as they arrive.
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "Acquire.h"
#include "Args.h"
#include "Cli.h"
#include "Device.h"
#include "Progress.h"
#include "RecordingWriter.h"
#include "Stop.h"

namespace cli {

namespace {

const QString kName = QStringLiteral("capture");

// The folder must exist and take new files, and nothing may be overwritten unasked; checked before the
// instrument is touched.
bool writableTarget(const QString& path, bool force, QString& error) {
    const QFileInfo info(path);
    const QFileInfo dir(info.absolutePath());
    if (!dir.exists()) error = QStringLiteral("cannot write %1: folder %2 does not exist").arg(path, dir.filePath());
    else if (!dir.isDir()) error = QStringLiteral("cannot write %1: %2 is not a folder").arg(path, dir.filePath());
    else if (!dir.isWritable()) error = QStringLiteral("cannot write %1: folder %2 is not writable").arg(path, dir.filePath());
    else if (info.isDir()) error = QStringLiteral("cannot write %1: it is a folder").arg(path);
    else if (info.exists() && !force) error = QStringLiteral("%1 exists; --force replaces it").arg(path);
    else if (info.exists() && !info.isWritable()) error = QStringLiteral("cannot write %1: file is read-only").arg(path);
    else return true;
    return false;
}

struct Options {
    Request request;
    double durationS = 0;
    DataType type = DataType::Cf32Le;
    QString dataFile, metaFile, plotFile;  // metaFile empty: none (samples to stdout without --meta)
    bool toStdout = false;
    double voltsPerUnit = 0;
};

// Everything the command line says, checked before any instrument is touched. Returns kOk or kUsage.
int readOptions(const ParsedArgs& a, Io& io, Options& o) {
    double frequency = 0, rate = 0, refLevel = 0;
    if (!numberOption(a, "frequency", frequency, io, kName) || !numberOption(a, "rate", rate, io, kName) ||
        !numberOption(a, "ref-level", refLevel, io, kName))
        return kUsage;
    if (frequency <= 0) return usageError(io, kName, "--frequency must be positive");
    if (rate <= 0) return usageError(io, kName, "--rate must be positive");
    if (refLevel < -300 || refLevel > 100) return usageError(io, kName, "--ref-level must be from -300 to 100 dBm");
    if (refLevel != std::round(refLevel))
        io.err << "reference level " << refLevel << " dBm rounded to " << std::round(refLevel)
               << " dBm: instruments take whole dBm\n";
    if (!a.values.contains("points")) return usageError(io, kName, "--points is required");
    long long points = 0;
    o.request.blocks = a.values.contains("duration") ? 0 : 1;
    if (!countOption(a, "points", 1, 1 << 30, points, io, kName) ||
        !countOption(a, "count", 0, 1LL << 40, o.request.blocks, io, kName))
        return kUsage;
    if (a.values.contains("duration") && (!parseNumber(a.value("duration"), o.durationS) || o.durationS <= 0))
        return usageError(io, kName, "--duration must be a positive number of seconds");
    if (a.values.contains("volts-per-unit") &&
        (!parseNumber(a.value("volts-per-unit"), o.voltsPerUnit) || o.voltsPerUnit <= 0))
        return usageError(io, kName, "--volts-per-unit must be a positive number");
    if (a.values.contains("datatype") &&
        (!dataTypeFromName(a.value("datatype"), o.type) || !isWritable(o.type)))
        return usageError(io, kName, QStringLiteral("--datatype: '%1' is not cf32_le, cf64_le or ci16_le").arg(a.value("datatype")));
    o.request.frequencyHz = frequency;
    o.request.sampleRateHz = rate;
    o.request.refLevelDbm = static_cast<int>(std::round(refLevel));
    o.request.points = static_cast<int>(points);

    const QString name = a.value("output", "capture");
    o.toStdout = name == "-";
    if (a.values.contains("meta") && !o.toStdout)
        return usageError(io, kName, "--meta goes with --output - (the metadata otherwise sits beside the data)");
    if (o.toStdout && a.flags.contains("json")) return usageError(io, kName, "--json and --output - both want stdout");
    o.dataFile = o.toStdout ? QStringLiteral("-") : dataPath(name);
    o.metaFile = o.toStdout ? (a.values.contains("meta") ? metaPath(a.value("meta")) : QString()) : metaPath(name);
    o.plotFile = a.value("plot");
    const bool force = a.flags.contains("force");
    QString error;
    for (const QString& path : {o.toStdout ? QString() : o.dataFile, o.metaFile, o.plotFile})
        if (!path.isEmpty() && !writableTarget(path, force, error)) return usageError(io, kName, error);
    return kOk;
}

int runCapture(const ParsedArgs& a, Io& io) {
    Options o;
    if (readOptions(a, io, o) != kOk) return kUsage;
    const Request& r = o.request;

    Connection connection;
    DeviceData device;
    QString error;
    if (!connectTo(a.positional[0], connection, device, error, io)) return fail(io, kName, error);
    io.err << "connected\n";

    const Limits limits = readLimits();
    const QStringList outside = outsideLimits(r, limits);
    if (!outside.isEmpty()) {
        for (const QString& line : outside.mid(1)) io.err << "trelvan capture: " << line << "\n";
        return usageError(io, kName, outside.first() + QStringLiteral(" (nothing was sent)"));
    }

    io.err << "configuring: centre " << formatHz(r.frequencyHz) << ", sample rate " << formatHz(r.sampleRateHz)
           << ", ref " << r.refLevelDbm << " dBm, " << r.points << " points ...\n";
    Applied applied = configure(r);
    for (const QString& line : differences(r, applied)) io.err << line << "\n";
    for (const auto& e : applied.errors) io.err << "library reports: " << e.code << " " << e.text.trimmed() << "\n";
    if (getStatus() != 0)
        return fail(io, kName, QStringLiteral("configuration failed, status %1").arg(statusText(getStatus())));

    SampleUnit unit = sampleUnitOf(device);
    if (o.voltsPerUnit > 0) unit.voltsPerUnit = o.voltsPerUnit;
    RecordingWriter writer(o.type);
    if (!writer.open(o.dataFile, error)) return fail(io, kName, error);
    io.out.flush();  // nothing of ours may land inside the samples on stdout

    StopRequests stop;
    // Some instruments settle for seconds before the first block; say so rather than sit silent.
    io.err << "reading " << (r.blocks > 0 ? QStringLiteral("%1 block(s)").arg(r.blocks) : QStringLiteral("blocks until stopped"))
           << (o.toStdout ? QString() : " into " + o.dataFile) << " ...\n";
    Progress progress(io, r.blocks, o.durationS);
    QElapsedTimer clock;
    clock.start();
    QString writeError;
    bool durationReached = false;
    Acquisition acq = acquire(
        r, applied,
        [&](const QVector<IQ_Elem>& block, const Capture&) { return writer.write(block, writeError); },
        [&](const Acquisition& now) {
            progress.update(now.blocks, now.samples);
            durationReached = o.durationS > 0 && clock.elapsed() >= o.durationS * 1000;
            return !durationReached && !StopRequests::requested();
        });
    progress.finish();
    if (!writer.close(error) && writeError.isEmpty()) writeError = error;

    Recording rec = describeRecording(device, unit, r, limits, applied, acq, o.type);
    rec.sha512 = writer.sha512();
    rec.scale = writer.scale() > 0 ? writer.scale() : 1.0;
    rec.sampleCount = writer.samples();
    if (writer.clipped() > 0) rec.extension["clipped_values"] = static_cast<double>(writer.clipped());
    if (!o.metaFile.isEmpty() && !writeMetadata(o.metaFile, rec, error)) return fail(io, kName, error);

    // stdout carries only the samples, or only the JSON summary, when either was asked for.
    QTextStream& report = o.toStdout || a.flags.contains("json") ? io.err.stream() : io.out;
    report << "wrote " << (o.toStdout ? QStringLiteral("stdout") : o.dataFile)
           << (o.metaFile.isEmpty() ? QString() : " and " + o.metaFile) << ": " << writer.samples() << " samples in "
           << acq.captures.size() << " block(s) at " << formatHz(rec.sampleRateHz) << "\n";
    report.flush();
    if (!o.plotFile.isEmpty()) {
        if (!plotSpectrum(writer.spectrum(applied.current.frequency, rec.sampleRateHz), rec, o.plotFile, error))
            return fail(io, kName, error);
        report << "wrote " << o.plotFile << "\n";
    }

    // The exit status says whether this is the capture that was asked for.
    QStringList problems;
    for (const auto& an : acq.annotations)
        io.err << "library reports during block at sample " << an.sampleStart << ": " << an.code << " " << an.text << "\n";
    if (!applied.errors.isEmpty() || !acq.annotations.empty()) problems << "the library reported errors (listed above)";
    if (acq.emptyBlocks > 0) problems << QStringLiteral("%1 block(s) came back empty").arg(acq.emptyBlocks);
    if (acq.shortBlocks > 0) problems << QStringLiteral("%1 block(s) came back short").arg(acq.shortBlocks);
    if (acq.status != 0) problems << QStringLiteral("reading stopped, status %1").arg(statusText(acq.status));
    if (!writeError.isEmpty() && !writer.readerGone()) problems << writeError;
    if (writer.readerGone()) io.err << "trelvan capture: the reader of stdout closed it; stopped\n";
    if (StopRequests::requested()) {
        io.err << "trelvan capture: stopped by signal " << StopRequests::signal() << " after " << acq.blocks << " block(s)\n";
        if (r.blocks > 0 && acq.blocks < r.blocks) problems << QStringLiteral("stopped after %1 of %2 blocks").arg(acq.blocks).arg(r.blocks);
    }
    const int rc = problems.isEmpty() ? kOk : kFailed;
    if (a.flags.contains("json")) {
        QJsonObject summary{{"exit_status", rc},
                            {"data", o.dataFile},
                            {"meta", o.metaFile},
                            {"samples", static_cast<double>(writer.samples())},
                            {"blocks", static_cast<double>(acq.captures.size())},
                            {"sample_rate", rec.sampleRateHz},
                            {"frequency", applied.current.frequency},
                            {"sample_unit", unit.name},
                            {"problems", QJsonArray::fromStringList(problems)}};
        QJsonArray errors;
        for (const auto& an : rec.annotations)
            errors.append(QJsonObject{{"code", an.code}, {"text", an.text},
                                      {"sample_start", static_cast<double>(an.sampleStart)},
                                      {"sample_count", static_cast<double>(an.sampleCount)}});
        summary["errors"] = errors;
        io.out << QJsonDocument(summary).toJson(QJsonDocument::Indented);
    }
    if (rc != kOk) return fail(io, kName, problems.join("; "));
    return kOk;
}

}  // namespace

Command captureCommand() {
    return {kName,
            "DEVICE",
            "Configure an instrument, read blocks of I/Q samples and write them as a SigMF recording as they arrive.",
            "Writes NAME.sigmf-data and NAME.sigmf-meta. Numbers take k, M and G suffixes (--rate 10M).\n"
            "Every value is checked against the instrument's limits before anything is sent; a request\n"
            "outside them exits 2. Settings the library or instrument changed are printed. --count 0 or\n"
            "--duration reads until stopped; Ctrl-C or SIGTERM ends with a valid recording of what arrived.\n"
            "Exit status 1 when the library reported an error or fewer samples arrived than asked.",
            {{"frequency", "HZ", "centre frequency (required)", 'f'},
             {"rate", "HZ", "sample rate (required)", 'r'},
             {"ref-level", "DBM", "reference level (required; rounded to whole dBm)"},
             {"points", "N", "samples per block (required)", 'n'},
             {"count", "K", "number of blocks; 0 until stopped (default 1, or 0 with --duration)"},
             {"duration", "SECONDS", "stop after this long"},
             {"output", "NAME", "recording name (default 'capture'); - writes raw samples to stdout", 'o'},
             {"meta", "NAME", "with --output -: write the metadata to NAME.sigmf-meta"},
             {"datatype", "TYPE", "cf32_le (default), cf64_le or ci16_le (scaled, the scale recorded)"},
             {"volts-per-unit", "V", "volts per sample unit, for samples not in volts (SK: corrected counts)"},
             {"plot", "FILE.png", "also draw the averaged spectrum"},
             {"force", "", "replace existing output files"},
             {"json", "", "print a summary object on stdout"}},
            1,
            1,
            runCapture};
}

}  // namespace cli
