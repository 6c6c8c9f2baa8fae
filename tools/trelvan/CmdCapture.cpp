// trelvan capture: configure an instrument, read blocks and write them as a SigMF recording.
#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <cmath>

#include "Acquire.h"
#include "Args.h"
#include "Cli.h"
#include "Device.h"

namespace cli {

namespace {

const QString kName = QStringLiteral("capture");
// Samples kept in memory at once: 2^26 complex doubles are 1 GiB.
constexpr long long kMaxTotalSamples = 1LL << 26;

// The folder must exist and take new files; checked before the instrument is touched.
bool writableTarget(const QString& path, QString& error) {
    const QFileInfo info(path);
    const QFileInfo dir(info.absolutePath());
    if (!dir.exists()) error = QStringLiteral("cannot write %1: folder %2 does not exist").arg(path, dir.filePath());
    else if (!dir.isDir()) error = QStringLiteral("cannot write %1: %2 is not a folder").arg(path, dir.filePath());
    else if (!dir.isWritable()) error = QStringLiteral("cannot write %1: folder %2 is not writable").arg(path, dir.filePath());
    else if (info.isDir()) error = QStringLiteral("cannot write %1: it is a folder").arg(path);
    else if (info.exists() && !info.isWritable()) error = QStringLiteral("cannot write %1: file is read-only").arg(path);
    else return true;
    return false;
}

void drawProgress(Io& io, int done, int total) {
    constexpr int kWidth = 30;
    const int filled = done * kWidth / total;
    io.err << "\r[" << QString(filled, '#') << QString(kWidth - filled, ' ') << "] " << done << "/" << total
           << " blocks";
    if (done == total) io.err << "\n";
    io.err.flush();
}

int runCapture(const ParsedArgs& a, Io& io) {
    Request r;
    double frequency = 0, rate = 0, refLevel = 0;
    if (!numberOption(a, "frequency", frequency, io, kName) || !numberOption(a, "rate", rate, io, kName) ||
        !numberOption(a, "ref-level", refLevel, io, kName))
        return kUsage;
    if (frequency <= 0) return usageError(io, kName, "--frequency must be positive");
    if (rate <= 0) return usageError(io, kName, "--rate must be positive");
    if (refLevel < -300 || refLevel > 100 || refLevel != std::floor(refLevel))
        return usageError(io, kName, "--ref-level must be a whole number of dBm from -300 to 100");
    if (!a.values.contains("points")) return usageError(io, kName, "--points is required");
    long long points = 0, blocks = 1;
    if (!countOption(a, "points", 1, kMaxTotalSamples, points, io, kName) ||
        !countOption(a, "count", 1, 1000000, blocks, io, kName))
        return kUsage;
    if (points * blocks > kMaxTotalSamples)
        return usageError(io, kName, QStringLiteral("--points x --count may not exceed %1 samples").arg(kMaxTotalSamples));
    DataType type = DataType::Cf32Le;
    if (a.values.contains("datatype") && !dataTypeFromName(a.value("datatype"), type))
        return usageError(io, kName, QStringLiteral("--datatype: '%1' is not cf32_le or cf64_le").arg(a.value("datatype")));
    r.frequencyHz = frequency;
    r.sampleRateHz = rate;
    r.refLevelDbm = static_cast<int>(refLevel);
    r.points = static_cast<int>(points);
    r.blocks = static_cast<int>(blocks);

    const QString name = a.value("output", "capture");
    QString error;
    if (!writableTarget(metaPath(name), error) || !writableTarget(dataPath(name), error) ||
        (a.values.contains("plot") && !writableTarget(a.value("plot"), error)))
        return fail(io, kName, error);

    Connection connection;
    DeviceData device;
    if (!connectTo(a.positional[0], connection, device, error)) return fail(io, kName, error);
    io.err << "connected to " << describe(device) << "\n";

    const Limits limits = readLimits();
    Applied applied = configure(r);
    const QString reported = errorsLine(applied.errors);
    const auto showCorrections = [&] {
        for (const QString& line : differences(r, applied)) io.err << line << "\n";
        if (!reported.isEmpty()) io.err << "library reports: " << reported << "\n";
    };
    const QString outside = outsideLimits(r, limits);
    if (!outside.isEmpty()) {
        showCorrections();
        return fail(io, kName, outside);
    }
    if (getStatus() != 0)
        return fail(io, kName, QStringLiteral("configuration failed, status %1").arg(statusText(getStatus())));

    const bool showProgress = io.errIsTerminal && r.blocks > 1;
    Acquisition acq = acquire(r, applied, [&](int done) {
        if (showProgress) drawProgress(io, done, r.blocks);
    });
    showCorrections();
    const int status = acq.status;
    const int empty = acq.emptyBlocks;
    if (acq.samples.empty())
        return fail(io, kName, QStringLiteral("the instrument delivered no samples (status %1%2)")
                                   .arg(statusText(status))
                                   .arg(errorsLine(getError()).isEmpty() ? QString()
                                                                         : "; " + errorsLine(getError())));

    Recording rec = makeRecording(device, r, limits, applied, std::move(acq), type);
    if (!writeRecording(name, rec, error)) return fail(io, kName, error);
    io.out << "wrote " << metaPath(name) << " and " << dataPath(name) << ": " << rec.samples.size()
           << " samples in " << rec.captures.size() << " block(s) at " << formatHz(rec.sampleRateHz) << "\n";
    if (a.values.contains("plot")) {
        if (!plotRecording(rec, a.value("plot"), error)) return fail(io, kName, error);
        io.out << "wrote " << a.value("plot") << "\n";
    }
    if (empty > 0) return fail(io, kName, QStringLiteral("%1 of %2 blocks came back empty").arg(empty).arg(r.blocks));
    if (status != 0)
        return fail(io, kName, QStringLiteral("reading stopped early, status %1").arg(statusText(status)));
    return kOk;
}

}  // namespace

Command captureCommand() {
    return {kName,
            "DEVICE",
            "Configure an instrument, read blocks of I/Q samples and write a SigMF recording.",
            "Writes NAME.sigmf-data and NAME.sigmf-meta. Numbers take k, M and G suffixes (--rate 10M).\n"
            "Settings the library or instrument changed are printed; a request outside the instrument's\n"
            "limits is refused after showing what the library would have set.",
            {{"frequency", "HZ", "centre frequency (required)"},
             {"rate", "HZ", "sample rate (required)"},
             {"ref-level", "DBM", "reference level (required)"},
             {"points", "N", "samples per block (required)"},
             {"count", "K", "number of blocks (default 1)"},
             {"output", "NAME", "recording name (default 'capture')"},
             {"datatype", "TYPE", "cf32_le (default) or cf64_le"},
             {"plot", "FILE.png", "also draw the averaged spectrum"}},
            1,
            1,
            runCapture};
}

}  // namespace cli
