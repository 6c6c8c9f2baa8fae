// The emulated N9030A without its socket: settings with limits and coupling, the error queue, the
// command table and the replies, including the capture block.
#pragma once

#include <complex>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "PxaEmulator.h"
#include "Scpi.h"
#include "SignalGenerator.h"

namespace sim {

class PxaInstrument {
public:
    static constexpr double kSpanToSampleRate = 1.28;
    static constexpr double kRbwPoints = 3.8194;  // RBW x points = kRbwPoints x sample rate
    static constexpr double kCenterMin = 3.0, kCenterMax = 26.5e9;
    static constexpr double kSpanMin = 10.0, kSpanMax = 40e6;
    static constexpr double kRangeMin = -50.0, kRangeMax = 30.0;
    static constexpr long long kPointsMin = 16, kPointsMax = 4194304;
    static constexpr std::size_t kErrorQueueSize = 100;

    PxaInstrument();

    // Runs one message (a line without its end) and appends its reply, if it has one, to `reply`.
    // True when the reply holds a capture block.
    bool execute(const std::string& message, std::string& reply);

    void setTone(double offsetHz, double levelDbm);
    void setNoiseDbm(double dbm);
    void setSerial(const std::string& serial) { serial_ = serial; }
    void setFaults(const PxaFaults& faults) { faults_ = faults; }
    const PxaFaults& faults() const { return faults_; }
    PxaSettings settings() const;

private:
    using Handler = std::function<void(const scpi::Unit&, std::string&)>;
    struct Command {
        scpi::Pattern pattern;
        bool settable;
        bool queryable;
        Handler run;
    };

    std::vector<Command>::const_iterator findCommand(const std::vector<std::string>& header) const;
    void addCommand(const char* pattern, bool settable, bool queryable, Handler run);
    void buildCommands();
    void reset();
    void pushError(int code, const char* text);
    std::string popError();

    double sampleRate() const { return span_ * kSpanToSampleRate; }
    double rbwMin() const;
    double rbwMax() const;
    long long points() const;
    void recouple();

    // A numeric setting: MIN, MAX, a number with an allowed unit; clamped with -222 outside [lo, hi].
    bool setNumber(const scpi::Unit& unit, const std::vector<scpi::UnitScale>& units, double lo, double hi,
                   double& target);
    // Its query: the current value, or MIN/MAX.
    void queryNumber(const scpi::Unit& unit, double lo, double hi, double current, std::string& reply);
    bool oneArg(const scpi::Unit& unit);

    void appendCapture(std::string& reply);
    void appendBinary(long long n, std::string& reply);
    void appendAscii(long long n, std::string& reply);

    std::vector<Command> commands_;
    double center_ = 0, span_ = 0, rbw_ = 0, range_ = 0;
    int mode_ = 1;
    bool ascii_ = true, swapped_ = false;
    std::deque<std::pair<int, std::string>> errors_;
    std::string serial_ = "SIM0001";
    PxaFaults faults_;
    SignalGenerator signal_;
    Tone tone_{1e6, -20.0};
    std::vector<std::complex<double>> scratch_;
    bool capturing_ = false;  // set while a message's reply holds a block
};

}  // namespace sim
