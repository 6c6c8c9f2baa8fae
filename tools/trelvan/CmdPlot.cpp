// trelvan plot: the averaged spectrum of a SigMF recording as a PNG.
#include "Acquire.h"
#include "Cli.h"
#include "Sigmf.h"

namespace cli {

namespace {

int runPlot(const ParsedArgs& a, Io& io) {
    if (!a.values.contains("output")) return usageError(io, "plot", "--output FILE.png is required");
    Recording rec;
    QString error;
    if (!readRecording(a.positional[0], rec, error)) return fail(io, "plot", error);
    if (rec.sampleRateHz <= 0)
        return fail(io, "plot", QStringLiteral("%1 gives no core:sample_rate").arg(metaPath(a.positional[0])));
    if (!plotRecording(rec, a.value("output"), error)) return fail(io, "plot", error);
    io.out << "wrote " << a.value("output") << "\n";
    return kOk;
}

}  // namespace

Command plotCommand() {
    return {"plot",
            "NAME.sigmf-meta",
            "Draw the averaged power spectrum of a SigMF recording (cf32, cf64, ci16 or ri16) into a PNG.",
            "Levels in dBm (50 Ohm) when the recording says how its samples relate to volts, with its\n"
            "reference level at the top; otherwise in dB of the recorded unit, or dBFS for another\n"
            "recorder's samples. 10 dB per division; the strongest peak is marked. Narrow spans show\n"
            "kHz from the centre.",
            {{"output", "FILE.png", "where to write the image (required)", 'o'}},
            1,
            1,
            runPlot};
}

}  // namespace cli
