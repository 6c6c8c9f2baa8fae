// trelvan-sim-sk: the emulated SK instrument as a program, for people and scripts.
#include <pthread.h>
#include <csignal>
#include <cstdio>

#include "SkOptions.h"
#include "SkServer.h"

int main(int argc, char** argv) {
    using namespace sim::sk;
    Options options;
    std::string error;
    if (!parseOptions({argv + 1, argv + argc}, &options, &error)) {
        std::fprintf(stderr, "trelvan-sim-sk: %s\n%s", error.c_str(), usage());
        return 2;
    }
    if (options.help) {
        std::fputs(usage(), stdout);
        return 0;
    }
    // Block the stop signals before any thread starts, so that only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Server server(options.settings);
    for (const Fault& f : options.faults) server.injectFault(f);
    if (options.verbose)
        server.setRequestObserver(
            [](const Request& r) { std::fprintf(stderr, "%s\n", describe(r).c_str()); });
    if (!server.start(options.address, options.port)) {
        std::fprintf(stderr, "trelvan-sim-sk: %s\n", server.error().c_str());
        return 1;
    }
    std::printf("trelvan-sim-sk listening on %s:%u\n", options.address.c_str(), unsigned(server.port()));
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    return 0;
}
