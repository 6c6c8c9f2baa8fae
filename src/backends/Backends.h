// The backend table: what the facade knows of each backend, one row each. Connecting, discovery and the
// error list loop over it; adding a backend means its folder and one row in Backends.cpp.
#pragma once

#include <trelvan/Records.h>

#include <QString>
#include <QVector>
#include <string>

#include "backends/AnalyzerInterface.h"
#include "backends/Init.h"

struct Backend {
    const char* name;
    // Whether a record's model text, or failing that its address text, names an instrument of this
    // backend; null when the backend is never recognised that way.
    bool (*recognisesModel)(const QString& model);
    bool (*recognisesAddress)(const QString& address);
    // Takes the records no row recognises.
    bool takesTheRest;
    // Over VISA: the facade opens an exclusive session before constructing the backend, and discovery
    // lists the instruments the VISA search finds as "<resourcePrefix><host>::<port>::SOCKET".
    bool needsVisaSession;
    const char* resourcePrefix;
    int port;
    // Takes the VISA resources whose model no row recognises.
    bool takesUnknownResources;
    // The facade's own SCPI (direct I/O, the ASCII and binary captures) talks to this instrument.
    bool speaksFacadeScpi;
    // Lists the attached instruments that no VISA search finds; null when there are none.
    void (*enumerate)(QVector<DeviceData>* found);
    analyzerInterface* (*make)(Init init);
    // The host's error list while connected; null: the facade's pending error record alone.
    QVector<Error> (*errorList)(const Init& facade, analyzerInterface* backend);
    // Disconnects a backend that needs no VISA session; null when the facade's closing the session does.
    void (*disconnect)(analyzerInterface* backend);
};

namespace trv::backends {

const Backend* begin();
const Backend* end();

// The row that drives `device`: by model, then by address, then the one that takes the rest.
const Backend& forDevice(const DeviceData& device);
// The row the facade's flags say is connected (the one its SCPI talks to, or the one without a VISA
// session); null when neither flag is set.
const Backend* connected(bool facadeScpi, bool withoutVisaSession);
// The VISA row for a resource found by discovery, from its model text (as converted and as read); null
// when no row accepts it.
const Backend* forResource(const QString& model, const QString& rawModel, bool modelKnown);
// The resource text that opens an instrument of `row` on `host`.
std::string resourceFor(const Backend& row, const std::string& host);

}  // namespace trv::backends
