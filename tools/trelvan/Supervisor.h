// The library can block for as long as an instrument keeps silent, and a signal handler cannot end a call
// inside it. So each command runs on a thread of its own while the main thread watches the signals and
// the bound the command puts on the library call in hand. When a bound passes, or a stop request is not
// taken up within a grace time, the main thread runs the command's finisher (which completes what is on
// disk and says what happened) and ends the process, whatever the command thread is doing.
#pragma once

#include <QString>
#include <functional>

namespace cli {

// Exit status after SIGINT or SIGTERM.
constexpr int kInterrupted = 130;

namespace supervisor {

enum class Ending { Interrupted, TimedOut };

// Takes SIGINT and SIGTERM from here on (noting them for run()); called before the libraries initialise,
// so no moment of the program's life is left to the default action.
void catchSignals();

// Runs command() on a thread with SIGINT and SIGTERM routed to the caller; returns its status or ends
// the process with the finisher's.
int run(const std::function<int()>& command);

bool stopRequested();
int stopSignal();  // SIGINT or SIGTERM, 0 if none

// Installs the function that completes the command from the main thread; it returns the exit status.
// It runs at most once; the command thread takes the same guard before it finishes on its own. Returns
// the one it replaces.
using Finisher = std::function<int(Ending, const QString& what)>;
Finisher setFinisher(const Finisher& finisher);

// A finisher for the life of the objects it uses; the one before comes back at the end of the scope.
class ScopedFinisher {
public:
    explicit ScopedFinisher(const Finisher& f) : previous_(setFinisher(f)) {}
    ~ScopedFinisher() { setFinisher(previous_); }
    ScopedFinisher(const ScopedFinisher&) = delete;
    ScopedFinisher& operator=(const ScopedFinisher&) = delete;

private:
    Finisher previous_;
};

// While one lives, the library call it guards must end within `seconds`; `what` names the wait
// ("the instrument stopped answering").
class Bound {
public:
    Bound(double seconds, const QString& what);
    ~Bound();
    Bound(const Bound&) = delete;
    Bound& operator=(const Bound&) = delete;
};

// Serialises finishing between the two threads: true for the first caller only. A command thread that
// loses calls awaitEnd(): the main thread is finishing and ends the process.
bool claimFinish();
[[noreturn]] void awaitEnd();

}  // namespace supervisor
}  // namespace cli
