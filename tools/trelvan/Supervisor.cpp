#include "Supervisor.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

namespace cli {
namespace supervisor {

namespace {

using Clock = std::chrono::steady_clock;

// A stop request that the command has not acted on by then is completed from the main thread, so the
// program ends within a second of Ctrl-C whatever the library is doing.
constexpr auto kGrace = std::chrono::milliseconds(600);
// How long a command thread that is finishing on its own gets before the process ends regardless.
constexpr auto kFinishing = std::chrono::milliseconds(300);

int wake[2] = {-1, -1};
std::atomic<int> firstSignal{0};
std::atomic<bool> finishClaimed{false};

std::mutex guard;  // the bound and the finisher
bool bounded = false;
Clock::time_point deadline;
QString boundWhat;
Finisher finisher;

void onSignal(int sig) {
    const int saved = errno;
    int none = 0;
    firstSignal.compare_exchange_strong(none, sig);
    const char b = static_cast<char>(sig);
    if (::write(wake[1], &b, 1) < 0) {
    }
    errno = saved;
}

[[noreturn]] void finishAndExit(Ending ending, const QString& what) {
    Finisher f;
    {
        std::lock_guard<std::mutex> lock(guard);
        f = finisher;
    }
    int rc = ending == Ending::Interrupted ? kInterrupted : 1;
    if (f) rc = f(ending, what);
    fflush(stdout);
    fflush(stderr);
    // The command thread may sit inside the library: no destructors, no waiting for it.
    _exit(rc);
}

}  // namespace

bool stopRequested() { return firstSignal.load() != 0; }
int stopSignal() { return firstSignal.load(); }
bool claimFinish() { return !finishClaimed.exchange(true); }

Finisher setFinisher(const Finisher& f) {
    std::lock_guard<std::mutex> lock(guard);
    Finisher previous = finisher;
    finisher = f;
    return previous;
}

void awaitEnd() {
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

Bound::Bound(double seconds, const QString& what) {
    std::lock_guard<std::mutex> lock(guard);
    bounded = true;
    deadline = Clock::now() + std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    boundWhat = what;
}

Bound::~Bound() {
    std::lock_guard<std::mutex> lock(guard);
    bounded = false;
}

void catchSignals() {
    if (wake[0] >= 0 || pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // A closed stdout reads as EPIPE rather than ending the program.
    signal(SIGPIPE, SIG_IGN);
}

int run(const std::function<int()>& command) {
    catchSignals();
    if (wake[0] < 0) return command();

    // The command thread, and every thread the library starts from it, leaves the signals to this one.
    sigset_t stops, before;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, &before);
    std::atomic<bool> done{false};
    int status = 0;
    std::thread worker([&] {
        status = command();
        done = true;
        const char b = 0;
        if (::write(wake[1], &b, 1) < 0) {
        }
    });
    pthread_sigmask(SIG_SETMASK, &before, nullptr);

    int signals = 0;
    bool graceRunning = false;
    Clock::time_point graceEnd;
    for (;;) {
        Clock::time_point next = Clock::now() + std::chrono::milliseconds(200);
        bool timedOut = false;
        QString what;
        {
            std::lock_guard<std::mutex> lock(guard);
            if (bounded) {
                next = std::min(next, deadline);
                timedOut = Clock::now() >= deadline;
                what = boundWhat;
            }
        }
        if (graceRunning) next = std::min(next, graceEnd);
        const auto waitMs = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
        pollfd p{wake[0], POLLIN, 0};
        if (!timedOut) poll(&p, 1, static_cast<int>(std::max<long long>(waitMs, 0) + 1));
        char bytes[16];
        ssize_t n;
        while ((n = ::read(wake[0], bytes, sizeof bytes)) > 0)
            for (ssize_t i = 0; i < n; ++i) signals += bytes[i] != 0;
        if (done) {
            worker.join();
            return status;
        }
        if (signals > 0 && !graceRunning) {
            graceRunning = true;
            graceEnd = Clock::now() + kGrace;
        }
        const bool interrupted = signals > 1 || (graceRunning && Clock::now() >= graceEnd);
        if (!interrupted && !timedOut) continue;
        if (!claimFinish()) {
            // The command is completing on its own: give it a moment, then end regardless.
            const auto until = Clock::now() + kFinishing;
            while (!done && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (done) {
                worker.join();
                return status;
            }
            fflush(stdout);
            fflush(stderr);
            _exit(interrupted ? kInterrupted : 1);
        }
        finishAndExit(interrupted ? Ending::Interrupted : Ending::TimedOut, what);
    }
}

}  // namespace supervisor
}  // namespace cli
