// The steps `capture` and `demo` share: configure a connected instrument, read blocks, turn them into a
// SigMF recording and plot it.
#pragma once

#include <trelvan/Trelvan.h>

#include <QStringList>
#include <functional>

#include "Sigmf.h"

namespace cli {

struct Request {
    double frequencyHz = 0;
    double sampleRateHz = 0;
    int refLevelDbm = 0;
    int points = 0;
    int blocks = 1;
};

struct Limits {
    Params min{0, 0, 0}, max{0, 0, 0};
    int minPoints = 0, maxPoints = 0;
};

// What the instrument runs with after configuration, and what the library reported while it was applied.
struct Applied {
    Params current{0, 0, 0};
    double deliveredRateHz = 0;
    int points = 0;
    QVector<Error> errors;
};

Limits readLimits();
Applied configure(const Request& r);

// One line per setting the library or the instrument changed: "sample rate: requested …, delivered …".
QStringList differences(const Request& r, const Applied& a);
// Why the request lies outside the instrument's limits; empty when it does not.
QString outsideLimits(const Request& r, const Limits& l);

struct Acquisition {
    Samples samples;
    std::vector<Capture> captures;
    int emptyBlocks = 0;
    int status = 0;                // the status word when reading stopped
    double deliveredRateHz = 0;    // as the library reports it after the blocks
};

// Reads r.blocks blocks; stops early when the status word turns non-zero. progress(done) after each block.
// Some instruments learn their output rate only from the data, so the delivered rate in `a` is updated.
Acquisition acquire(const Request& r, Applied& a, const std::function<void(int)>& progress);

Recording makeRecording(const DeviceData& d, const Request& r, const Limits& l, const Applied& a,
                        Acquisition&& acq, DataType type);

// Averaged spectrum of a recording, drawn into a PNG.
bool plotRecording(const Recording& rec, const QString& png, QString& error);

// Settings line for a title: "centre 1 GHz, rate 10 MHz, ref -10 dBm, 4096 points x 4".
QString settingsLine(const Recording& rec);

}  // namespace cli
