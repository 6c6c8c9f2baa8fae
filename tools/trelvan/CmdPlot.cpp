// trelvan plot: the averaged spectrum of a SigMF recording as a PNG.
#include "Acquire.h"
#include "Args.h"
#include "Cli.h"
#include "Sigmf.h"

namespace cli {

namespace {

int runPlot(const ParsedArgs& a, Io& io) {
    if (!a.values.contains("output")) return usageError(io, "plot", "--output FILE.png is required");
    PlotView view;
    if (const int rc = plotViewOptions(a, io, "plot", view)) return rc;
    // The recording and the image are files the command line names: trouble with either is status 2.
    Recording rec;
    QString error;
    if (!readRecording(a.positional[0], rec, error)) return usageError(io, "plot", error);
    if (rec.sampleRateHz <= 0)
        return usageError(io, "plot", QStringLiteral("%1 gives no core:sample_rate").arg(metaPath(a.positional[0])));
    if (!plotRecording(rec, view, a.value("output"), error)) return usageError(io, "plot", error);
    (io.json ? io.err.stream() : io.out) << "wrote " << a.value("output") << "\n";
    if (io.json) printJson(io, {{"output", a.value("output")}}, kOk);
    return kOk;
}

}  // namespace

Command plotCommand() {
    return {"plot",
            "NAME.sigmf-meta",
            "Draw the averaged power spectrum of a SigMF recording (cf32, cf64, ci16 or ri16) into a PNG.",
            "Levels in dBm (50 Ohm) when the recording says how its samples relate to volts, with its\n"
            "reference level at the top; otherwise in dB of the recorded unit, or dBFS for another\n"
            "recorder's samples. The level window follows the data: the reference level (or the peak) at\n"
            "the top, ten divisions of 1, 2, 5, 10, 15 ... dB reaching 10 dB under the noise floor (the median bin). The\n"
            "strongest peak is marked when it stands 15 dB or more above the noise floor. Narrow spans\n"
            "show kHz from the centre.",
            {{"output", "FILE.png", "where to write the image (required)", 'o'},
             {"center", "HZ", "centre of the plotted span (default the recording's)"},
             {"span", "HZ", "width of the plotted span (default the sample rate)"},
             {"window", "NAME", "FFT window hann (default), flattop or rect"},
             {"json", "", "print a JSON object on stdout"}},
            1,
            1,
            runPlot};
}

}  // namespace cli
