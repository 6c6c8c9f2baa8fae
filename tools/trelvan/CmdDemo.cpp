// trelvan demo: the whole road on emulated instruments, from discovery to recordings and plots, with a
// check that every tone came out where it was programmed.
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

#include "Acquire.h"
#include "Args.h"
#include "Cli.h"
#include "DemoLab.h"
#include "Device.h"
#include "Plot.h"
#include "RecordingWriter.h"
#include "Simulated.h"
#include "Spectrum.h"

namespace cli {

namespace {

const QString kName = QStringLiteral("demo");
// A tone counts as found within two bins of its frequency and this many dB of its level.
constexpr double kLevelToleranceDb = 3.0;
constexpr double kFrequencyToleranceBins = 2.0;
// The tone search stays clear of the band edges, where the anti-alias filters roll off.
constexpr double kSearchFraction = 0.45;
// A clear peak: this far above the median bin (the noise floor).
constexpr double kMinProminenceDb = 20.0;

struct Row {
    QString instrument;
    double requestedRate = 0, deliveredRate = 0;
    int points = 0;
    double toneHz = 0, measuredHz = 0;
    double toneDbm = 0, measuredDbm = 0;
    QString result;
    QString unit;
    bool ok = false;
};

// Connects, captures, writes the recording and the plot, and measures the tone.
Row runOne(const DemoInstrument& inst, const std::vector<DeviceData>& found, const QString& dir, Io& io) {
    Row row;
    row.instrument = inst.name;
    row.requestedRate = inst.request.sampleRateHz;
    row.toneDbm = inst.toneLevelDbm;
    const DeviceData* device = nullptr;
    for (const auto& d : found)
        if (inst.simulated ? isSimulated(d) : addressOf(d).contains(inst.addressHint, Qt::CaseInsensitive))
            device = &d;
    if (!device) {
        row.result = "not discovered";
        return row;
    }
    row.instrument = QString::fromStdString(device->model);

    Connection connection;
    QString error;
    if (!connection.open(*device, error)) {
        row.result = error;
        return row;
    }
    const Limits limits = readLimits();
    Applied applied = configure(inst.request);
    const QString base = QDir(dir).filePath(inst.name);
    RecordingWriter writer(DataType::Cf32Le);
    if (!writer.open(dataPath(base), error)) {
        row.result = error;
        return row;
    }
    Acquisition acq = acquire(
        inst.request, applied, [&](const QVector<IQ_Elem>& block, const Capture&) { return writer.write(block, error); }, {});
    row.deliveredRate = applied.deliveredRateHz;
    row.points = applied.points;
    row.toneHz = applied.current.frequency + inst.toneOffsetHz;
    if (!writer.close(error) || acq.samples == 0) {
        row.result = acq.samples == 0 ? QStringLiteral("no samples, status %1").arg(statusText(acq.status)) : error;
        return row;
    }

    SampleUnit unit = sampleUnitOf(*device);
    if (inst.voltsPerUnit > 0) unit.voltsPerUnit = inst.voltsPerUnit;
    Recording rec = describeRecording(*device, unit, inst.request, limits, applied, acq, DataType::Cf32Le);
    rec.sha512 = writer.sha512();
    rec.sampleCount = writer.samples();
    const double centre = applied.current.frequency;
    const Spectrum s = writer.spectrum(centre, rec.sampleRateHz);
    if (!writeMetadata(metaPath(base), rec, error) || !plotSpectrum(s, rec, PlotView{}, base + ".png", error)) {
        row.result = error;
        return row;
    }
    io.err << "  " << inst.name << ": wrote " << metaPath(base) << ", " << dataPath(base) << ", " << base
           << ".png\n";
    io.err.flush();

    const double half = kSearchFraction * rec.sampleRateHz;
    const Peak p = strongestPeak(s, centre - half, centre + half);
    if (!p.found) {
        row.result = "no spectrum";
        return row;
    }
    std::vector<double> levels = s.levelsDbm();
    std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
    const double floorDb = levels[levels.size() / 2];
    row.measuredHz = p.frequencyHz;
    // Read in the unit the recording states, as any SigMF reader would.
    row.measuredDbm = p.levelDbm + levelScaleOf(rec).offsetDb;
    const bool atFrequency = std::fabs(p.frequencyHz - row.toneHz) <= kFrequencyToleranceBins * s.binHz();
    const bool atLevel = std::fabs(row.measuredDbm - row.toneDbm) <= kLevelToleranceDb;
    const bool clear = p.levelDbm - floorDb >= kMinProminenceDb;
    row.ok = atFrequency && atLevel && clear;
    row.result = row.ok         ? QStringLiteral("found")
                 : !atFrequency ? QStringLiteral("wrong frequency")
                 : !atLevel     ? QStringLiteral("wrong level")
                                : QStringLiteral("buried in noise");
    row.unit = unit.name + 's';
    return row;
}

void printSummary(QTextStream& out, const std::vector<Row>& rows) {
    const auto mhz = [](double hz) { return QLocale::c().toString(hz / 1e6, 'f', 4); };
    const auto db = [](double v) { return QLocale::c().toString(v, 'f', 1); };
    const auto cell = [&out](const QString& text, int width) { out << text.leftJustified(width) << ' '; };
    cell("INSTRUMENT", 14);
    cell("RATE REQ", 10);
    cell("RATE OUT", 10);
    cell("POINTS", 7);
    cell("TONE MHz", 12);
    cell("FOUND MHz", 12);
    cell("TONE dBm", 9);
    cell("FOUND dBm", 9);
    cell("SAMPLES IN", 16);
    out << "RESULT\n";
    for (const Row& r : rows) {
        cell(r.instrument, 14);
        cell(formatHzApprox(r.requestedRate), 10);
        cell(r.deliveredRate > 0 ? formatHzApprox(r.deliveredRate) : "-", 10);
        cell(QString::number(r.points), 7);
        cell(r.toneHz > 0 ? mhz(r.toneHz) : "-", 12);
        cell(r.measuredHz > 0 ? mhz(r.measuredHz) : "-", 12);
        cell(db(r.toneDbm), 9);
        cell(r.measuredHz > 0 ? db(r.measuredDbm) : "-", 9);
        cell(r.unit.isEmpty() ? "-" : r.unit, 16);
        out << r.result << "\n";
    }
}

int runDemo(const ParsedArgs& a, Io& io) {
    const QString dir = a.value("output", "demo-out");
    if (!QDir().mkpath(dir) || !QFileInfo(dir).isWritable())
        return fail(io, kName, QStringLiteral("cannot write into folder %1").arg(dir));

    DemoLab lab;
    QString error;
    if (!lab.start(error)) return fail(io, kName, error);
    io.err << "emulated instruments running; MIVISA_RESOURCES=" << qgetenv("MIVISA_RESOURCES") << "\n";
    if (!lab.skipped().isEmpty()) io.err << "left out: " << lab.skipped() << "\n";
    io.err.flush();

    const std::vector<DeviceData> found = discover();
    io.out << "Discovered instruments:\n";
    printDeviceTable(io.out, found);
    io.out << "\n";
    io.out.flush();

    std::vector<Row> rows;
    for (const auto& inst : lab.instruments()) rows.push_back(runOne(inst, found, dir, io));
    io.out << "Summary (tones programmed in the emulators, measured from the recordings in the unit each\n"
              "recording states for its samples):\n";
    printSummary(io.out, rows);
    io.out << "\nRecordings and spectrum plots are in " << QDir(dir).absolutePath() << "\n";

    int failed = 0;
    for (const Row& r : rows) failed += r.ok ? 0 : 1;
    if (failed > 0) return fail(io, kName, QStringLiteral("%1 of %2 tones not found where programmed").arg(failed).arg(rows.size()));
    return kOk;
}

}  // namespace

Command demoCommand() {
    return {kName,
            "",
            "Run emulated instruments in-process, capture from each, write recordings and plots, check the tones.",
            "Starts an emulated N9030A and SK instrument on free loopback addresses and a simulated USB\n"
            "device, points our VISA library at them, lists them, captures from each in turn and writes a\n"
            "SigMF recording and a spectrum PNG per instrument. Exit status 0 only when every tone was\n"
            "found at its programmed frequency and level.",
            {{"output", "DIR", "where the recordings and plots go (default ./demo-out)"}},
            0,
            0,
            runDemo};
}

}  // namespace cli
