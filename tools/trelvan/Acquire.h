// The steps `capture` and `demo` share: check a request against a connected instrument's limits,
// configure it, read blocks as they arrive, and describe the result as a SigMF recording.
#pragma once

#include <trelvan/Backend.h>
#include <trelvan/Trelvan.h>

#include <QStringList>
#include <functional>

#include "Cli.h"
#include "Sigmf.h"
#include "Spectrum.h"
#include "Units.h"

namespace cli {

struct Request {
    double frequencyHz = 0;
    double sampleRateHz = 0;
    int refLevelDbm = 0;
    int points = 0;
    long long blocks = 1;  // 0: until stopped
    double blockTimeoutS = 0;  // a block that takes longer ends the program (Supervisor.h); 0: no bound
};

// Each pair in ascending order, whatever order the library reports them in.
struct Limits {
    double frequency[2] = {0, 0}, sampleRate[2] = {0, 0};
    int refLevel[2] = {0, 0};
    int points[2] = {0, 0};  // at the sample rate the instrument had when they were read
    double pointsAtRateHz = 0;  // 0: the point limits do not follow the rate
};

// What the instrument runs with after configuration, and what the library reported while it was applied.
struct Applied {
    Params current{0, 0, 0};
    double deliveredRateHz = 0;
    int points = 0;
    QVector<Error> errors;
};

Limits readLimits();
// The connected instrument's facts, its real point limits put into `l` (following the rate only where the
// rates are continuous).
InstrumentFacts readFacts(Limits& l);
// The rates as `info` lists them: "MIN..MAX" for a continuous range, else each one.
QString ratesText(const InstrumentFacts& f);
// The rate to ask for to get `wish`: for a set of rates, one it holds (within a relative 1e-6, so printed
// figures can be copied) or, with `nearest`, the nearest one; for a continuous range `wish` itself (the
// limits check it) or, with `nearest`, clamped into it. False with the refusal naming the neighbours.
bool chooseRate(const InstrumentFacts& f, double wish, bool nearest, RateChoice& out, QString& refusal);
// Every way the request lies outside the limits, one line each; empty when it fits. Nothing is sent.
QStringList outsideLimits(const Request& r, const Limits& l);
Applied configure(const Request& r);

// One line per setting the library or the instrument changed: "sample rate: requested …, delivered …".
QStringList differences(const Request& r, const Applied& a);

struct Acquisition {
    std::vector<Capture> captures;
    std::vector<Annotation> annotations;  // the library's reports, on the samples they concern
    long long blocks = 0;
    long long emptyBlocks = 0, shortBlocks = 0;
    qint64 samples = 0;
    int status = 0;              // the status word when reading stopped
    double deliveredRateHz = 0;  // as the library reports it after the blocks
};

// Reads blocks until r.blocks are read, the status word turns non-zero, or keepGoing() says stop.
// Each non-empty block goes to sink(block, capture) as it arrives; a false from the sink ends reading,
// and that block is not counted.
// Some instruments learn their output rate only from the data, so the delivered rate in `a` is updated.
Acquisition acquire(const Request& r, Applied& a,
                    const std::function<bool(const QVector<IQ_Elem>&, const Capture&)>& sink,
                    const std::function<bool(const Acquisition&)>& keepGoing);

// The recording's metadata (its samples stay wherever they were written).
Recording describeRecording(const DeviceData& d, const SampleUnit& unit, const Request& r, const Limits& l,
                            const Applied& a, const Acquisition& acq, DataType type);

// What part of a spectrum a plot shows; zeros: the whole recorded band.
struct PlotView {
    double centreHz = 0, spanHz = 0;
    Window window = Window::Hann;
};

// --center, --span and --window as `plot` and `capture --plot` take them; kOk or kUsage after saying why.
int plotViewOptions(const ParsedArgs& a, Io& io, const QString& command, PlotView& view);

// The averaged spectrum drawn into a PNG, titled and scaled from the recording's metadata.
bool plotSpectrum(const Spectrum& s, const Recording& rec, const PlotView& view, const QString& png, QString& error);
// The same from a recording read back with its samples.
bool plotRecording(const Recording& rec, const PlotView& view, const QString& png, QString& error);

// Settings line for a title: "centre 1 GHz, rate 10 MHz, ref -10 dBm, 4096 points x 4".
QString settingsLine(const Recording& rec);

}  // namespace cli
