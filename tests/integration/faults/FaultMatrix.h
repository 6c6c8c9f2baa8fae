// The fault matrix's one runner. A row names the fault, the entry point it hits, the bound that entry point
// must keep, what the status word, the error list and the block say afterwards, and the recovery that must
// bring acquisition back. An instrument adapter knows how to connect to its emulated instrument and to
// undo a fault. Every row prints "| instrument | fault | bound | bound ms | observed ms |" for
// docs/RELIABILITY.md.
#pragma once

#include <gtest/gtest.h>

#include <complex>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "facade/Facade.h"
#include "support/QuickTimeouts.h"

namespace faults {

using namespace support;  // the shortened timeouts
// Time a row may take beyond its stated bound: loopback round trips, threads and sanitizers.
constexpr int kAllowanceMs = 2000;

// A bound on an entry point, as a formula over the timeouts in force and its value in milliseconds.
struct Bound {
    std::string text;
    int ms = 0;
};
Bound operator+(const Bound& a, const Bound& b);
Bound waits(int n, int ms, const char* what);  // n waits of ms each: "3 x 200 ms read timeout"
Bound roundTrips(int n);                       // n loopback query round trips, 5 ms each
const Bound kNoWait{"no wait", 0};
const Bound kOpenTimeout = waits(1, kOpenMs, "open timeout");
// One read that collects what is pending and runs into its timeout, one that finds the line quiet.
const Bound kDrainQuiet = waits(2, kDrainQuietMs, "drain read");
inline Bound readTimeouts(int n) {
    return waits(n, kExchangeMs, "read timeout");
}
inline Bound stall(int ms) {
    return waits(1, ms, "stall");
}

// "code:text" entries joined by "; ", line ends shown as \n.
std::string describe(const QVector<Error>& errors);

// Runs `call` on its own thread and gives its duration in ms. A call still running after `hangMs` is
// reported and ends the process, since nothing could unblock it.
long guarded(const std::string& what, int hangMs, const std::function<void()>& call);

// A facade with its own VISA binding, shortened timeouts and the status word at "not connected"; deleting
// it releases its backend and sessions.
using Facade = std::unique_ptr<Trelvan, void (*)(Trelvan*)>;
Facade makeFacade();
DeviceData deviceAt(const std::string& address, const std::string& model);
QVector<IQ_Elem> toBlock(const std::vector<std::complex<double>>& values);

// Prints the table line and checks the bound.
void record(const char* instrument, const std::string& row, const Bound& bound, long observedMs);

// A test name from a row's number and text: "07_ConnectionClosedInsideTheData".
std::string testName(size_t index, const std::string& text);

// SetPoints: setNumPts. DisconnectDuringCapture: getData, and setDisconnect from another thread while it
// runs.
enum class Entry { Capture, BinaryCapture, ErrorList, Connect, SetPoints, DisconnectDuringCapture };
// Partial: the announced size, what arrived first, zeros where nothing arrived. Unchanged: not looked at.
enum class Block { Empty, Full, Partial, Zeros, Unchanged };
// Reopen: the next capture only re-opens the session and comes back empty. Reconnect: setDisconnect +
// setConnect, with captures empty (or `stuck`) and immediate before it. Retry: setConnect again.
enum class Recovery { NextCapture, Reopen, Reconnect, Retry };

class Instrument;

struct Row {
    std::string name;
    Entry entry;
    std::function<void(Instrument&)> arm;
    Bound bound;
    Block block;
    int status = 0;
    std::string errors = "";  // empty: the instrument's list with nothing to report
    Recovery recovery = Recovery::NextCapture;
    Block stuck = Block::Empty;    // what captures deliver until the reconnect
    int announced = 0;             // a partial block's size, when not the points asked for
    const char* logged = nullptr;  // a line the fault leaves in the debug log, once
    // Anything else the fault must leave behind, checked before the disarm.
    std::function<void()> also = nullptr;
};

class Instrument {
public:
    Instrument(const char* name, int points, std::string cleanErrors)
        : name(name), points(points), cleanErrors(std::move(cleanErrors)) {}
    virtual ~Instrument() = default;
    // Before each row.
    virtual void reset() {}
    // Undoes whatever a row did to the instrument or the link.
    virtual void disarm() = 0;
    virtual bool connect() {
        if (!t->setConnect(device)) return false;
        t->setNumPts(points);
        return t->getStatus() == 0;
    }

    const char* name;
    int points;
    std::string cleanErrors;     // the error list when nothing is wrong
    bool errorsPersist = false;  // the error a fault left outlives the next capture
    Facade t = makeFacade();
    DeviceData device;
};

void run(Instrument& instrument, const Row& row);

}  // namespace faults

// One parameterised test over a row table, named after its rows.
#define FAULT_ROWS(Suite, rows)                                                              \
    INSTANTIATE_TEST_SUITE_P(Matrix, Suite, ::testing::Range<size_t>(0, rows.size()),        \
                             [](const ::testing::TestParamInfo<size_t>& info) {              \
                                 return faults::testName(info.param, rows[info.param].name); \
                             })

// The matrix of one instrument whose adapter is made afresh for every row.
#define FAULT_MATRIX(Suite, Adapter, rows)                    \
    class Suite : public ::testing::TestWithParam<size_t> {}; \
    TEST_P(Suite, ReturnsInBoundReportsAndRecovers) {         \
        Adapter instrument;                                   \
        faults::run(instrument, rows[GetParam()]);            \
        instrument.t->setDisconnect();                        \
    }                                                         \
    FAULT_ROWS(Suite, rows)
