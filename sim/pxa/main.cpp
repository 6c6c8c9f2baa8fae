// trelvan-sim-pxa: the emulated N9030A as a program, for scripts and for trying the library by hand.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "PxaEmulator.h"

namespace {

const char* const kUsage =
    "Usage: trelvan-sim-pxa [options]\n"
    "An emulated Keysight N9030A answering SCPI on a raw TCP socket.\n"
    "\n"
    "  --listen ADDR:PORT       where to listen (default 127.0.0.1:5025; port 0 picks a free one)\n"
    "  --tone-offset HZ         tone offset from the centre frequency (default 1e6)\n"
    "  --tone-level DBM         tone level (default -20)\n"
    "  --noise DBM              total noise power (default -90)\n"
    "  --serial TEXT            serial number in the *IDN? reply\n"
    "Faults (stall and close faults hit the capture block unless --every-reply is given):\n"
    "  --stall-before MS        pause before the first byte of a reply\n"
    "  --stall-inside BYTES:MS  pause after BYTES bytes of a reply\n"
    "  --close-after BYTES      drop the connection after BYTES bytes of a reply\n"
    "  --every-reply            apply the stall and close faults to every reply\n"
    "  --drip US                send every reply one byte at a time, US microseconds apart\n"
    "  --wrong-digit-count      block header announces one length digit fewer than it sends\n"
    "  --bad-length             block header length digits are letters\n"
    "  --stuck-errors           the error queue never empties\n"
    "  --opc garbage|zero       what *OPC? answers\n"
    "  --help                   this text\n"
    "\n"
    "Prints \"listening on ADDR:PORT\" once ready and runs until interrupted.\n";

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "trelvan-sim-pxa: %s\n%s", why.c_str(), kUsage);
    std::exit(2);
}

double number(const char* text, const char* option) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0') fail(std::string("bad number for ") + option + ": " + text);
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    std::string address = "127.0.0.1";
    long port = 5025;
    double toneOffset = 1e6, toneLevel = -20, noise = -90;
    std::string serial;
    sim::PxaFaults faults;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) fail("missing value for " + opt);
            return argv[++i];
        };
        if (opt == "--help" || opt == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (opt == "--listen") {
            const std::string v = value();
            const auto colon = v.rfind(':');
            if (colon == std::string::npos) fail("--listen wants ADDR:PORT");
            address = v.substr(0, colon);
            port = static_cast<long>(number(v.c_str() + colon + 1, "--listen"));
            if (port < 0 || port > 65535) fail("port out of range");
        } else if (opt == "--tone-offset") {
            toneOffset = number(value(), "--tone-offset");
        } else if (opt == "--tone-level") {
            toneLevel = number(value(), "--tone-level");
        } else if (opt == "--noise") {
            noise = number(value(), "--noise");
        } else if (opt == "--serial") {
            serial = value();
        } else if (opt == "--stall-before") {
            faults.stallBeforeMs = static_cast<int>(number(value(), "--stall-before"));
        } else if (opt == "--stall-inside") {
            const std::string v = value();
            const auto colon = v.find(':');
            if (colon == std::string::npos) fail("--stall-inside wants BYTES:MS");
            faults.stallAfterBytes =
                static_cast<long long>(number(v.substr(0, colon).c_str(), "--stall-inside"));
            faults.stallInsideMs = static_cast<int>(number(v.c_str() + colon + 1, "--stall-inside"));
        } else if (opt == "--close-after") {
            faults.closeAfterBytes = static_cast<long long>(number(value(), "--close-after"));
        } else if (opt == "--every-reply") {
            faults.everyReply = true;
        } else if (opt == "--drip") {
            faults.dripDelayUs = static_cast<int>(number(value(), "--drip"));
        } else if (opt == "--wrong-digit-count") {
            faults.wrongDigitCount = true;
        } else if (opt == "--bad-length") {
            faults.nonNumericLength = true;
        } else if (opt == "--stuck-errors") {
            faults.errorQueueNeverEmpties = true;
        } else if (opt == "--opc") {
            const std::string v = value();
            if (v == "garbage")
                faults.opc = sim::PxaFaults::Opc::Garbage;
            else if (v == "zero")
                faults.opc = sim::PxaFaults::Opc::Zero;
            else
                fail("--opc wants garbage or zero");
        } else {
            fail("unknown option " + opt);
        }
    }

    // Signals are taken by sigwait below, not by whichever emulator thread happens to run.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::PxaEmulator emulator;
    emulator.setTone(toneOffset, toneLevel);
    emulator.setNoiseDbm(noise);
    if (!serial.empty()) emulator.setSerial(serial);
    emulator.setFaults(faults);
    if (!emulator.start(address, static_cast<uint16_t>(port))) {
        std::fprintf(stderr, "trelvan-sim-pxa: %s\n", emulator.error().c_str());
        return 1;
    }
    std::printf("listening on %s:%u\n", emulator.address().c_str(), emulator.port());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    emulator.stop();
    return 0;
}
