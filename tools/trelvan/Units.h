// What the numbers in a block of samples are: each backend delivers I/Q in a unit of its own.
#pragma once

#include <trelvan/Records.h>

#include <QString>

namespace cli {

struct Recording;

struct SampleUnit {
    QString name;             // "volt", "scaled volt", "corrected count"
    double voltsPerUnit = 0;  // multiplies a sample into volts across 50 Ohm; 0 when not known
};

SampleUnit sampleUnitOf(const DeviceData& d);

// How a spectrum of a recording's samples, computed as if they were volts across 50 Ohm, is shown.
struct LevelScale {
    double offsetDb = 0;  // added to the levels computed as volts
    QString unit;         // "dBm", "dBFS", "dB re 1 corrected count"
    bool absolute = false;  // dBm: the reference level applies
};

LevelScale levelScaleOf(const Recording& rec);

}  // namespace cli
