// A backend's row: everything the rest of the system knows about one kind of instrument, defined once in
// the backend's own folder and registered with `TRELVAN_REGISTER_BACKEND`. The facade, discovery, the
// facts that programs ask for (trelvan/Backend.h) and the error list read these fields and nothing else
// of the backend. Null function fields mean "this backend has none"; the comments say what each does then.
#pragma once

#include <trelvan/Backend.h>
#include <trelvan/Records.h>

#include <QString>
#include <QVector>
#include <cmath>
#include <vector>

#include "backends/AnalyzerInterface.h"

struct BackendRow {
    // Short name, as hosts and tools show it ("PXA"); unique.
    const char* name;
    // Rows are tried in ascending order: a lower number wins when two recognise the same record.
    int order;

    // Routing. A record belongs to the first row whose recognisesModel accepts its model text; failing
    // that, the first whose recognisesAddress accepts its address; failing that, the row that
    // takesTheRest (the last such row), so every record is driven by some backend.
    bool (*recognisesModel)(const QString& model);
    bool (*recognisesAddress)(const QString& address);
    bool takesTheRest;

    // VISA. With needsVisaSession the facade opens an exclusive VISA session before `make`, closes it to
    // disconnect, and discovery lists what the VISA search finds for this row as
    // "<resourcePrefix><host>::<port>::SOCKET". Resources whose maker is not among `makers` (a
    // null-terminated list, matched case-insensitively as parts of the maker's text) are not listed.
    bool needsVisaSession;
    const char* resourcePrefix;
    int port;
    const char* const* makers;
    // Takes the VISA resources whose model text cannot be read.
    bool takesUnknownResources;
    // The facade's own SCPI (direct I/O, the ASCII and binary captures, the error queue entry) talks to it.
    bool speaksFacadeScpi;

    // Life cycle. `make` constructs the backend over the facade's Init; it talks to the instrument and
    // leaves the status word 0 when the connection is made. `enumerate` appends the attached instruments
    // no VISA search finds (null: none). `errorList` gives the host's error list while connected (null:
    // the facade's pending error record alone). `disconnect` releases a backend without a VISA session
    // (null: closing the session is all it takes). Each may block as long as the instrument takes, within
    // the time-outs its backend sets; none may throw past the facade, which shields every call.
    void (*enumerate)(QVector<DeviceData>* found);
    analyzerInterface* (*make)(Init init);
    QVector<Error> (*errorList)(const Init& facade, analyzerInterface* backend);
    void (*disconnect)(analyzerInterface* backend);

    // Facts, for the programs that show and record the samples.
    // What one sample is, and how many volts across 50 Ohm one unit is (0: the library does not know).
    const char* sampleUnit;
    double voltsPerUnit;
    // The converter's full scale at `refLevelDbm`, in the sample unit (see InstrumentFacts::fullScale).
    double (*fullScale)(int refLevelDbm);
    // The rates the connected instrument delivers between its limits, ascending, each with the request
    // that gives it. With continuousRates any rate between the limits comes out as asked and the list is
    // a representative choice. `backend` is the connected backend; null for a listed instrument.
    bool continuousRates;
    std::vector<RateChoice> (*sampleRates)(analyzerInterface* backend, const Params& min,
                                                   const Params& max);
    // The points per block the connected instrument takes; null: what getNumPTS(MIN/MAX) reports.
    void (*pointsLimits)(analyzerInterface* backend, int& min, int& max);
    // What those limits mean for this instrument.
    const char* pointsMeaning;
    // The error code that means the input is overloaded (0: the backend reports none).
    int overloadCode;
};

namespace trv::backends {

// Adds a row to the table; for TRELVAN_REGISTER_BACKEND, which runs it while the library (or the
// program that carries a backend of its own) is loaded.
TRELVAN_EXPORT void registerRow(const BackendRow& row);

struct Registration {
    explicit Registration(const BackendRow& row) { registerRow(row); }
};

}  // namespace trv::backends

#define TRELVAN_REGISTER_BACKEND(row) static const ::trv::backends::Registration trelvanRegistration##row(row)

namespace trv::backends {

// Amplitude in volts of a complex tone of `dbm` across 50 Ohm, its power taken as |x|^2 / 50.
inline double toneAmplitudeVolts(double dbm) {
    return std::sqrt(50.0 * std::pow(10.0, (dbm - 30.0) / 10.0));
}

}  // namespace trv::backends
