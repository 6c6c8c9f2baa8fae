// trelvan capture: check a request against an instrument's limits, configure it, and stream the blocks
// to a SigMF recording (or stdout) as they arrive. The metadata on disk always describes samples the
// data file holds, whenever and however the program ends.
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <cmath>
#include <mutex>

#include "Acquire.h"
#include "Args.h"
#include "Cli.h"
#include "Device.h"
#include "Progress.h"
#include "RecordingWriter.h"
#include "Supervisor.h"

namespace cli {

namespace {

const QString kName = QStringLiteral("capture");
// The metadata is replaced this often while blocks arrive, so a capture cut short loses little.
constexpr qint64 kMetaEveryMs = 2000;
// Without --timeout a block may take this long, plus twice its own duration at the delivered rate.
constexpr double kTimeoutBaseS = 10;

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
    bool hasRefLevel = false;
    double durationS = 0, timeoutS = 0;  // 0: none, and the default bound
    DataType type = DataType::Cf32Le;
    QString dataFile, metaFile, plotFile;  // metaFile empty: none (samples to stdout without --meta)
    bool toStdout = false;
    double voltsPerUnit = 0;
    PlotView view;
};

// Everything the command line says, checked before any instrument is touched. Returns kOk or kUsage.
int readOptions(const ParsedArgs& a, Io& io, Options& o) {
    double frequency = 0, rate = 0, refLevel = 0;
    if (!numberOption(a, "frequency", frequency, io, kName) || !numberOption(a, "rate", rate, io, kName))
        return kUsage;
    o.hasRefLevel = a.values.contains("ref-level");
    if (o.hasRefLevel && !numberOption(a, "ref-level", refLevel, io, kName)) return kUsage;
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
    if (a.values.contains("timeout") && (!parseNumber(a.value("timeout"), o.timeoutS) || o.timeoutS <= 0))
        return usageError(io, kName, "--timeout must be a positive number of seconds");
    if (a.values.contains("volts-per-unit") &&
        (!parseNumber(a.value("volts-per-unit"), o.voltsPerUnit) || o.voltsPerUnit <= 0))
        return usageError(io, kName, "--volts-per-unit must be a positive number");
    if (a.values.contains("datatype") &&
        (!dataTypeFromName(a.value("datatype"), o.type) || !isWritable(o.type)))
        return usageError(io, kName, QStringLiteral("--datatype: '%1' is not cf32_le, cf64_le or ci16_le").arg(a.value("datatype")));
    if (const int rc = plotViewOptions(a, io, kName, o.view)) return rc;
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

// The recording as far as it got: blocks go in on the command thread, and the main thread may finish it
// while the command thread is still inside the library, so both go through the lock.
class Recorder {
public:
    Recorder(Io& io, const Options& o, const DeviceData& d, const SampleUnit& unit, const Limits& l, const Applied& a)
        : io_(io), o_(o), device_(d), unit_(unit), limits_(l), applied_(a), writer_(o.type, o.view.window) {}

    // The metadata exists as soon as the data file does, describing nothing yet.
    bool open(QString& error) {
        return writer_.open(o_.dataFile, error) && (o_.metaFile.isEmpty() || writeMetadata(o_.metaFile, describe(false), error));
    }

    // One block from the instrument; false ends reading.
    bool add(const QVector<IQ_Elem>& block, const Capture& c) {
        // Some instruments learn their output rate only from the data.
        const double rate = getCurSampleRate();
        std::lock_guard<std::timed_mutex> lock(m_);
        if (finished_) return false;
        if (rate > 0) applied_.deliveredRateHz = rate;
        if (!writer_.write(block, writeError_)) return false;
        written_.captures.push_back(c);
        for (const QJsonValue& e : c.errors)
            written_.annotations.push_back({c.sampleStart, block.size(), e["code"].toInt(), e["text"].toString()});
        ++written_.blocks;
        if (block.size() < o_.request.points) ++written_.shortBlocks;
        written_.samples = writer_.samples();
        if (!o_.metaFile.isEmpty() && (!metaClock_.isValid() || metaClock_.elapsed() >= kMetaEveryMs)) {
            metaClock_.start();
            // The data reaches the disk before the metadata that describes it; no checksum until the end.
            if (!writer_.sync(writeError_) || !writeMetadata(o_.metaFile, describe(false), writeError_)) return false;
        }
        return true;
    }

    // Completes the files and reports; runs once, on whichever thread ends the capture.
    int finish(const Acquisition* acq, const QString& stopped, int stoppedStatus) {
        std::unique_lock<std::timed_mutex> lock(m_, std::defer_lock);
        if (!lock.try_lock_for(std::chrono::milliseconds(250)))
            return fail(io_, kName, stopped + QStringLiteral("; a write was still in progress, so the metadata "
                                                             "written last describes the recording"));
        finished_ = true;
        if (acq) {
            written_.emptyBlocks = acq->emptyBlocks;
            written_.status = acq->status;
            written_.blocks += acq->emptyBlocks;
        }
        QString error;
        if (!writer_.close(error) && writeError_.isEmpty()) writeError_ = error;
        // After a failed write too: the file is cut back to whole blocks, and this describes them.
        const Recording rec = describe(true);
        if (!o_.metaFile.isEmpty() && !writeMetadata(o_.metaFile, rec, error) && writeError_.isEmpty()) writeError_ = error;

        // stdout carries only the samples, or only the JSON summary, when either was asked for.
        QTextStream& report = o_.toStdout || io_.json ? io_.err.stream() : io_.out;
        const QString held = QStringLiteral("%1 samples in %2 block(s) at %3")
                                 .arg(writer_.samples())
                                 .arg(written_.captures.size())
                                 .arg(formatHz(rec.sampleRateHz));
        const bool readerGone = writer_.readerGone();
        if (writeError_.isEmpty() || (readerGone && writer_.samples() > 0)) {
            report << "wrote " << (o_.toStdout ? QStringLiteral("stdout") : o_.dataFile)
                   << (o_.metaFile.isEmpty() ? QString() : " and " + o_.metaFile) << ": " << held << "\n";
            report.flush();
        }
        if (!o_.plotFile.isEmpty() && stopped.isEmpty() && writeError_.isEmpty() && acq) {
            if (plotSpectrum(writer_.spectrum(applied_.current.frequency, rec.sampleRateHz), rec, o_.view, o_.plotFile, error))
                report << "wrote " << o_.plotFile << "\n";
            else
                problems_ << error;
        }

        // The exit status says whether this is the capture that was asked for.
        for (const auto& an : written_.annotations)
            io_.err << "library reports during block at sample " << an.sampleStart << ": " << an.code << " " << an.text << "\n";
        for (const auto& e : applied_.errors) problems_ << QStringLiteral("the library reported %1 %2").arg(e.code).arg(e.text.trimmed());
        for (const auto& an : written_.annotations) problems_ << QStringLiteral("the library reported %1 %2").arg(an.code).arg(an.text);
        if (written_.emptyBlocks > 0) problems_ << QStringLiteral("%1 block(s) came back empty").arg(written_.emptyBlocks);
        if (written_.shortBlocks > 0) problems_ << QStringLiteral("%1 block(s) came back short").arg(written_.shortBlocks);
        if (written_.status != 0) problems_ << QStringLiteral("reading stopped, status %1").arg(statusText(written_.status));
        int rc = problems_.isEmpty() ? kOk : kFailed;
        if (readerGone) {
            io_.err << "trelvan capture: the reader of stdout closed it; stopped\n";
            if (writer_.samples() == 0) problems_ << QStringLiteral("the reader of stdout went away before any samples were written");
            rc = writer_.samples() == 0 ? kFailed : rc;
        } else if (!writeError_.isEmpty()) {
            problems_ << writeError_ + QStringLiteral("; the recording on disk holds %1").arg(held);
            rc = kFailed;
        }
        if (!stopped.isEmpty()) {
            problems_.prepend(stopped + QStringLiteral(" after %1 block(s)").arg(written_.captures.size()));
            rc = stoppedStatus;
        }
        if (rc != kOk) io_.lastError = problems_.join("; ");
        if (io_.json) {
            QJsonObject summary{{"data", o_.dataFile},
                                {"meta", o_.metaFile},
                                {"samples", static_cast<double>(writer_.samples())},
                                {"blocks", static_cast<double>(written_.captures.size())},
                                {"sample_rate", rec.sampleRateHz},
                                {"frequency", applied_.current.frequency},
                                {"sample_unit", unit_.name},
                                {"problems", QJsonArray::fromStringList(problems_)}};
            QJsonArray errors;
            for (const auto& an : rec.annotations)
                errors.append(QJsonObject{{"code", an.code}, {"text", an.text},
                                          {"sample_start", static_cast<double>(an.sampleStart)},
                                          {"sample_count", static_cast<double>(an.sampleCount)}});
            summary["errors"] = errors;
            printJson(io_, summary, rc);
        }
        if (rc != kOk) fail(io_, kName, io_.lastError);
        return rc;
    }

private:
    // The periodic metadata describes the samples synced so far and carries no checksum, as the data
    // file may already hold part of the next block; the final one carries the checksum of the whole file.
    Recording describe(bool final) const {
        Recording rec = describeRecording(device_, unit_, o_.request, limits_, applied_, written_, o_.type);
        if (final) rec.sha512 = writer_.sha512();
        rec.scale = writer_.scale() > 0 ? writer_.scale() : 1.0;
        rec.sampleCount = writer_.samples();
        if (writer_.clipped() > 0) rec.extension["clipped_values"] = static_cast<double>(writer_.clipped());
        return rec;
    }

    Io& io_;
    const Options& o_;
    DeviceData device_;
    SampleUnit unit_;
    Limits limits_;
    Applied applied_;
    std::timed_mutex m_;
    bool finished_ = false;
    RecordingWriter writer_;
    Acquisition written_;
    QString writeError_;
    QStringList problems_;
    QElapsedTimer metaClock_;
};

int runCapture(const ParsedArgs& a, Io& io) {
    Options o;
    if (readOptions(a, io, o) != kOk) return kUsage;
    Request& r = o.request;

    Connection connection;
    DeviceData device;
    if (const int rc = connectTo(a.device, connection, device, io, kName)) return rc;
    io.err << "connected\n";

    Limits limits;
    InstrumentFacts facts;
    {
        supervisor::Bound bound(kLibraryBoundS, stoppedAnswering("reply while its settings were read"));
        limits = readLimits();
        facts = readFacts(limits);
        if (!o.hasRefLevel) r.refLevelDbm = getParameters(CUR).refLevel;
    }
    if (!o.hasRefLevel) io.err << "reference level: the instrument's current " << r.refLevelDbm << " dBm\n";
    RateChoice chosen{r.sampleRateHz, r.sampleRateHz};
    QString refusal;
    const bool nearest = a.flags.contains("nearest");
    if (facts.continuousRates) chooseRate(facts, r.sampleRateHz, nearest, chosen, refusal);
    const double wish = r.sampleRateHz;
    r.sampleRateHz = chosen.request;
    // Where the instrument has a set of rates, the set decides, not the range it reports.
    const bool rateSet = !facts.continuousRates && !facts.rates.empty();
    Limits checked = limits;
    if (rateSet) checked.sampleRate[0] = checked.sampleRate[1] = 0;
    const QStringList outside = outsideLimits(r, checked);
    if (!outside.isEmpty()) {
        for (const QString& line : outside.mid(1)) io.err << "trelvan capture: " << line << "\n";
        return usageError(io, kName, outside.first() + QStringLiteral(" (nothing was sent)"));
    }
    if (rateSet) {
        // The rates an instrument with a set of them delivers follow the block size, so that goes first.
        {
            supervisor::Bound bound(kLibraryBoundS, stoppedAnswering("reply while its rates were read"));
            setNumPts(r.points);
            facts = connectedFacts(trelvan);
        }
        if (facts.rates.empty()) return fail(io, kName, QStringLiteral("the instrument did not say which rates it delivers"));
        if (!chooseRate(facts, wish, nearest, chosen, refusal))
            return usageError(io, kName, refusal + QStringLiteral("; --nearest takes the nearer (nothing was tuned)"));
        r.sampleRateHz = chosen.request;
    }
    if (std::fabs(chosen.delivered - wish) > 1e-6 * wish)
        io.err << "sample rate: taking " << formatHz(chosen.delivered) << ", the deliverable rate nearest " << formatHz(wish) << "\n";

    io.err << "configuring: centre " << formatHz(r.frequencyHz) << ", sample rate " << formatHz(r.sampleRateHz)
           << (chosen.request != chosen.delivered ? " (for " + formatHz(chosen.delivered) + ")" : QString())
           << ", ref " << r.refLevelDbm << " dBm, " << r.points << " points ...\n";
    Applied applied;
    {
        supervisor::Bound bound(kLibraryBoundS, stoppedAnswering("reply while it was configured"));
        applied = configure(r);
    }
    if (supervisor::stopRequested()) return kInterrupted;
    // Against the rate the request was chosen for, so only a rate other than that one is reported.
    Request expected = r;
    expected.sampleRateHz = chosen.delivered;
    for (const QString& line : differences(expected, applied)) io.err << line << "\n";
    for (const auto& e : applied.errors) io.err << "library reports: " << e.code << " " << e.text.trimmed() << "\n";
    if (getStatus() != 0)
        return fail(io, kName, QStringLiteral("configuration failed, status %1").arg(statusText(getStatus())));
    const double rate = applied.deliveredRateHz > 0 ? applied.deliveredRateHz : r.sampleRateHz;
    r.blockTimeoutS = o.timeoutS > 0 ? o.timeoutS : kTimeoutBaseS + 2.0 * r.points / rate;

    SampleUnit unit = sampleUnitOf(device);
    if (o.voltsPerUnit > 0) unit.voltsPerUnit = o.voltsPerUnit;
    Recorder recorder(io, o, device, unit, limits, applied);
    QString error;
    if (!recorder.open(error)) return fail(io, kName, error);
    io.out.flush();  // nothing of ours may land inside the samples on stdout
    const supervisor::ScopedFinisher finisher([&recorder](supervisor::Ending ending, const QString& what) {
        return ending == supervisor::Ending::Interrupted
                   ? recorder.finish(nullptr, QStringLiteral("stopped by signal %1").arg(supervisor::stopSignal()), kInterrupted)
                   : recorder.finish(nullptr, what, kFailed);
    });

    // Some instruments settle for seconds before the first block; say so rather than sit silent.
    io.err << "reading " << (r.blocks > 0 ? QStringLiteral("%1 block(s)").arg(r.blocks) : QStringLiteral("blocks until stopped"))
           << (o.toStdout ? QString() : " into " + o.dataFile) << ", at most " << QString::number(r.blockTimeoutS, 'g', 3)
           << " s per block ...\n";
    Progress progress(io, r.blocks, o.durationS);
    QElapsedTimer clock;
    clock.start();
    const Acquisition acq = acquire(
        r, applied, [&](const QVector<IQ_Elem>& block, const Capture& c) { return recorder.add(block, c); },
        [&](const Acquisition& now) {
            progress.update(now.blocks, now.samples);
            return !(o.durationS > 0 && clock.elapsed() >= o.durationS * 1000) && !supervisor::stopRequested();
        });
    progress.finish();
    if (!supervisor::claimFinish()) supervisor::awaitEnd();  // the main thread is finishing the recording
    if (supervisor::stopRequested())
        return recorder.finish(&acq, QStringLiteral("stopped by signal %1").arg(supervisor::stopSignal()), kInterrupted);
    return recorder.finish(&acq, {}, kOk);
}

}  // namespace

Command captureCommand() {
    Command c{kName,
              "[DEVICE]",
              "Configure an instrument, read blocks of I/Q samples and write them as a SigMF recording as they arrive.",
              "Writes NAME.sigmf-data and NAME.sigmf-meta (-o NAME, NAME.sigmf, NAME.sigmf-meta or\n"
              "NAME.sigmf-data). Every value is checked against the instrument's limits before anything is\n"
              "sent; a request outside them exits 2, as does a rate the instrument would change (unless\n"
              "--nearest), naming the deliverable rates either side; one of those, copied as printed, is\n"
              "delivered as asked. Settings the library or instrument changed are printed.\n"
              "Without --ref-level the instrument's current reference level is kept. --count 0 or --duration\n"
              "reads until stopped. The metadata is written when the data file is made, then replaced after\n"
              "the first block and every 2 s, describing the samples already on disk (without core:sha512,\n"
              "which the final one carries), so the pair stays a valid recording however the program ends.\n"
              "A block that does not arrive within --timeout ends the capture (exit 1), as does a failed\n"
              "write; Ctrl-C or SIGTERM ends it within a second (exit 130), each with the recording of what\n"
              "arrived. Exit status 1 also when the library reported an error or a block came back empty or\n"
              "short.",
              {{"frequency", "HZ", "centre frequency (required)", 'f'},
               {"rate", "HZ", "sample rate (required); one the instrument delivers (see info)", 'r', 's'},
               {"nearest", "", "take the deliverable sample rate nearest --rate"},
               {"ref-level", "DBM", "reference level, rounded to whole dBm (default: the instrument's current)", 'g'},
               {"points", "N", "samples per block (required)", 'n'},
               {"count", "K", "number of blocks; 0 until stopped (default 1, or 0 with --duration)"},
               {"duration", "SECONDS", "stop after this long"},
               {"timeout", "SECONDS", "longest wait for one block (default 10 s plus twice the block's duration)"},
               {"output", "NAME", "recording name (default 'capture'); - writes raw samples to stdout", 'o'},
               {"meta", "NAME", "with --output -: write the metadata to NAME.sigmf-meta"},
               {"datatype", "TYPE", "cf32_le (default), cf64_le or ci16_le (scaled, the scale recorded)"},
               {"volts-per-unit", "V", "volts per sample unit, for samples not in volts (SK: corrected counts)"},
               {"plot", "FILE.png", "also draw the averaged spectrum"},
               {"center", "HZ", "with --plot: centre of the plotted span (default the recording's)"},
               {"span", "HZ", "with --plot: width of the plotted span (default the sample rate)"},
               {"window", "NAME", "with --plot: FFT window hann (default), flattop or rect"},
               {"force", "", "replace existing output files"},
               {"json", "", "print a summary object on stdout"}},
              0,
              1,
              runCapture};
    c.takesDevice = true;
    return c;
}

}  // namespace cli
