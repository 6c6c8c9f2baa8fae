#include "Stop.h"

#include <csignal>

namespace cli {

namespace {

volatile sig_atomic_t stopSignal = 0;
struct sigaction previous[3];
const int kSignals[3] = {SIGINT, SIGTERM, SIGPIPE};

void onSignal(int sig) { stopSignal = sig; }

}  // namespace

StopRequests::StopRequests() {
    stopSignal = 0;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    // Once: the second Ctrl-C meets the default action. Restarted calls keep the instrument I/O going.
    sa.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &sa, &previous[0]);
    sigaction(SIGTERM, &sa, &previous[1]);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previous[2]);
}

StopRequests::~StopRequests() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &previous[i], nullptr);
}

bool StopRequests::requested() { return stopSignal != 0; }
int StopRequests::signal() { return stopSignal; }

}  // namespace cli
