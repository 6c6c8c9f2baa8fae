// An emulated SK instrument on a TCP socket: tests start it in-process on a loopback address and port of
// their choice, give it a signal, spoil chosen replies on purpose and read back every request it got.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SignalGenerator.h"
#include "SkProtocol.h"

namespace sim::sk {

// One IF filter the instrument offers, with the sample rate it digitises at behind that filter.
struct Bandwidth {
    double ifBandwidthHz;
    double sampleRateHz;
};

struct Settings {
    // Signal at the input, relative to the tuned centre. Each tone comes out shaped by the instrument's
    // frequency response at its frequency; tones beyond half the sample rate are filtered away.
    std::vector<Tone> tones{{100e3, -20.0}};
    double noiseDbm = -90.0;  // total over the sample rate; below -300 for none
    uint64_t seed = 1;

    double minFrequencyHz = 10e6;
    double maxFrequencyHz = 18e9;
    double minRefLevelDbm = -50.0;
    double maxRefLevelDbm = 30.0;
    std::vector<Bandwidth> bandwidths{{100e3, 450e3}, {300e3, 1.5e6}, {3e6, 4.5e6}, {10e6, 12.5e6}};

    // Frequency-response table: this many points spread evenly over responseSpan x sample rate around
    // the centre (0 and 1 are allowed, to exercise degenerate tables). The response rises by tiltDb
    // across that span and a ripple of +-rippleDb with rippleCycles periods rides on top.
    int responsePoints = 161;
    double responseSpan = 0.8;
    double tiltDb = 6.0;
    double rippleDb = 1.5;
    double rippleCycles = 2.5;

    // Scale of the 32-bit samples in data replies; values beyond the integer range are clipped.
    double countsPerVolt = 1e9;
};

// The instrument's settings as they stand.
struct InstrumentState {
    double frequencyHz = 0;
    double ifBandwidthHz = 0;
    double sampleRateHz = 0;
    double refLevelDbm = 0;
    double videoBandwidthHz = 0;
    int mode = 0;
    int calibration = 0;
    int64_t clkIndex = 0;  // the last sample clock setting: first index, block length, total
    int clkBlock = 0;
    int64_t clkTotal = 0;
    std::vector<double> responseFrequencies;  // the table as the instrument reports it
    std::vector<double> responseAmplitudes;
    unsigned resets = 0;       // reset commands obeyed
    unsigned dataReplies = 0;  // data replies produced
};

// One request as received, whether or not it made sense to the instrument.
struct Request {
    int connection = 0;  // 1 for the first connection accepted, 2 for the next, ...
    uint16_t command = 0;
    int parameter = -1;  // the parameter ID of a set or get request with one; -1 otherwise
    int16_t status = 0;
    uint16_t bodyLen = 0;
    uint8_t numParam = 0;
    uint8_t lenFrac = 0;
    uint32_t sequence = 0;
    std::vector<double> values;  // decoded values of a set request
    bool badSignature = false;
};

// Spoils chosen replies. A fault matches replies to requests of the given command and parameter, lets
// `skip` of them pass and then spoils `count` of them (-1: every one from then on). Several faults may
// act on the same reply. `arg` is specific to the kind; 0 selects the default named below.
struct Fault {
    enum Kind {
        BadSignature,      // signature bytes swapped
        OddBodyLen,        // one byte more in the body, and BodyLen saying so
        OversizedBodyLen,  // BodyLen = arg (65535), body padded with zeros to match
        CutShort,          // header and arg (half the) body bytes, then the connection is closed
        WrongParameterId,  // parameter replies carry ID arg (the right one plus 1)
        EmptyData,         // data replies carry no samples
        HeaderStatus,      // header status arg (SE_READ_TIMEOUT, 20486)
        BodyStatus,        // data reply body status arg (MI_CRITICAL_ERROR, -32768)
        StopReplying,      // this reply and every later one on the connection are never sent
        Drip,              // the reply goes out one byte per write, arg ms apart (0)
        Delay,             // the reply goes out arg ms late (100)
    };
    Kind kind = Delay;
    int command = -1;    // -1: any
    int parameter = -1;  // -1: any
    int skip = 0;
    int count = 1;
    int arg = 0;
};

class Server {
public:
    explicit Server(Settings settings = {});
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens on address:port (port 0 picks a free one) and serves any number of connections, each on
    // its own threads, all talking to the one instrument. False with error() when it cannot listen,
    // and for a start while it listens.
    bool start(const std::string& address = "127.0.0.1", uint16_t port = 0);
    // Closes every connection and the listener; waits for the threads. Also done by the destructor.
    void stop();
    uint16_t port() const;
    std::string error() const;

    // Signal and model. The instrument keeps its tuning where the new limits allow it.
    void setSettings(const Settings& settings);
    Settings settings() const;
    void setTones(std::vector<Tone> tones);
    void setNoiseDbm(double dbm);
    InstrumentState state() const;
    // The instrument's own response in dB at an absolute frequency, for the current tuning.
    double responseDb(double frequencyHz) const;

    void injectFault(const Fault& fault);
    void clearFaults();

    // Every request received, oldest first (the most recent 100000 are kept).
    std::vector<Request> requests() const;
    void clearRequests();
    // Waits until at least n requests are in the log; false after timeoutMs without them.
    bool waitForRequests(std::size_t n, int timeoutMs) const;
    // Called on a connection's reader thread for every request, before it is answered.
    void setRequestObserver(std::function<void(const Request&)> observer);
    int connectionsAccepted() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sim::sk
