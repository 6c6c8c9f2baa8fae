// What every row of the fault matrix shares: the timeouts in force, the bound a row states and checks, a
// guard that turns a hang into a failure, the facade-mutex probes, the figures printed for the record,
// and the library's debug log captured line by line.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>
#include <string>

#include "facade/Trelvan.h"

namespace faults {

// The library's own timeouts, shortened through the facade's VISA slots so a fault is found quickly. The
// relaxed timeout stays far above every stall a row injects, so it only turns a hang into a failure.
constexpr int kExchangeMs = 200;    // the 1000 ms of the SCPI exchanges and reads
constexpr int kSkMs = 300;          // the 2000 ms of the SK exchanges
constexpr int kSkLongMs = 1000;     // the 20000 ms of SK data replies and limits
constexpr int kOpenMs = 1000;       // the 5000 ms open timeout
constexpr int kRelaxedMs = 3000;    // 1073676314 ms, the practically infinite one
constexpr int kDrainQuietMs = 200;  // the quiet time that ends a drain after a corrupt block (unchanged)
// Time a row may take beyond its stated bound: loopback round trips, threads and sanitizers.
constexpr int kAllowanceMs = 2000;

// Makes the facade's binding apply the shortened timeouts above.
void useQuickTimeouts(DynamicVisa& visa);

// A bound on an entry point, as a formula over the timeouts in force and its value in milliseconds.
struct Bound {
    std::string text;
    int ms = 0;
};
Bound operator+(const Bound& a, const Bound& b);
Bound none();                                  // no wait at all
Bound readTimeouts(int n);                     // n exchange timeouts
Bound openTimeout();                           // one open
Bound drainQuiet();                            // the drain's quiet time
Bound roundTrips(int n);                       // n loopback query round trips, 5 ms each
Bound stall(int ms);                           // an injected stall
Bound waits(int n, int ms, const char* what);  // n waits of ms each

// Formats an error list for comparison: "code:text" entries joined by "; ", line ends shown as \n.
std::string describe(const QVector<Error>& errors);

// Runs `call` on its own thread and gives its duration in ms. A call still running after `hangMs` is
// reported and ends the process, since nothing could unblock it.
long guarded(const std::string& what, int hangMs, const std::function<void()>& call);

// The facade's mutex is free: an acquisition, or a disconnect, from another thread comes back within ms.
QVector<IQ_Elem> captureFromAnotherThread(Trelvan& t, int ms);
void disconnectFromAnotherThread(Trelvan& t, int ms);

// A facade with its own VISA binding, shortened timeouts and the status word at "not connected". The
// facade never releases its last backend (the library's one instance lives until unload); this one does.
using Facade = std::unique_ptr<Trelvan, void (*)(Trelvan*)>;
Facade makeFacade();

// One line of the fault table, printed for docs/RELIABILITY.md, and checked against the bound.
void record(const char* instrument, const std::string& row, const Bound& bound, long observedMs);

// The library's debug log while a test runs.
class LogCapture {
public:
    static void start();
    static void stop();
    static QStringList lines();
    static int count(const QString& line);
};

// A test name from a row's number and text: "07_ConnectionClosedInsideTheData".
std::string testName(size_t index, const std::string& text);

DeviceData deviceAt(const std::string& address, const std::string& model);

// Moves the calling thread, and the threads it starts from then on, into a network namespace of its own
// with loopback up. Empty when that worked, otherwise why not (it needs CAP_SYS_ADMIN).
std::string enterPrivateNetwork();
// Takes loopback down or up in the calling thread's namespace: with it down, no peer on it answers any
// more, not even at the TCP level.
bool setLoopback(bool up);

}  // namespace faults
