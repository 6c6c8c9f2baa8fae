// What the library knows about the instrument behind a listed or connected record, for programs that
// show or record its samples: which backend drives it, what one sample is worth, its full scale, and
// the sample rates it can deliver. Each fact comes from the backend that drives the instrument.
#pragma once

#include <trelvan/Export.h>
#include <trelvan/Records.h>

#include <string>
#include <vector>

class Trelvan;

// Global names, like the library's other records and entry points.

// A rate the instrument delivers, and the sample rate to put into Params to get it (they differ where the
// instrument chooses its rate from the request, as SK instruments do).
struct RateChoice {
    double delivered = 0;
    double request = 0;
};

struct InstrumentFacts {
    std::string backend;      // "PXA", "SK", "Harogic"; empty when no backend drives the record
    std::string driver;       // the same in lower case, as selectors spell it
    std::string sampleUnit;   // the unit of one sample: "volt", "scaled volt", "corrected count"
    double voltsPerUnit = 0;  // a sample times this is volts across 50 Ohm; 0 when the library does not know
    // The converter's full scale: the amplitude, in the sample unit, of the largest complex tone it takes.
    // For samples in volts that is a tone 3 dB above the reference level; for converter counts it does
    // not depend on the level.
    double fullScale = 0;
    int refLevel = 0;                // the reference level (dBm) fullScale is for
    bool continuousRates = false;    // any rate between the limits comes out as asked
    std::vector<RateChoice> rates;   // ascending; for a continuous range a representative list
    int minPoints = 0;               // points limits (connected instruments only)
    int maxPoints = 0;
    std::string pointsMeaning;       // what those limits mean for this instrument
    int overloadCode = 0;            // the error code meaning the input is overloaded; 0: none reported
};

// The facts of a listed instrument, with full scale at `refLevelDbm`; its rates and points are not known
// before it is connected.
TRELVAN_EXPORT InstrumentFacts instrumentFacts(const DeviceData& device, int refLevelDbm = 0);
// The facts of the instrument `facade` is connected to, with its limits and current reference level; an
// empty backend when nothing is connected.
TRELVAN_EXPORT InstrumentFacts connectedFacts(Trelvan& facade);
// The deliverable rate nearest `rate` (for a continuous range: `rate` itself within the limits).
TRELVAN_EXPORT RateChoice nearestRate(const InstrumentFacts& facts, double rate);
// The names of the backends the library has, in the order records are tried against them.
TRELVAN_EXPORT std::vector<std::string> backendNames();
