// The emulated instrument without its network side: settings and their limits, the relation between IF
// bandwidth and sample rate, the frequency-response table and the signal it digitises. Not thread-safe;
// the server serialises access.
#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <vector>

#include "SkServer.h"

namespace sim::sk {

class Instrument {
public:
    explicit Instrument(const Settings& settings);

    // Takes a new model and signal; the tuning is kept where the new limits allow it.
    void configure(const Settings& settings);
    const Settings& settings() const { return settings_; }

    // Appends the complete reply to one request (header and body) to out. With emptyData a data reply
    // carries no samples.
    void reply(const Header& request, const uint8_t* body, std::vector<uint8_t>& out, bool emptyData);

    InstrumentState state() const;
    double responseDb(double frequencyHz) const;

private:
    struct Outcome {
        int16_t status;
        bool known;  // the reply carries the parameter's values
    };

    void reset();
    void retune();
    void answerParameter(const Header& rq, const uint8_t* body, std::vector<uint8_t>& out);
    Outcome set(int pid, const std::vector<double>& v);
    std::vector<double> values(int pid) const;
    void answerData(const Header& rq, std::vector<uint8_t>& out, bool empty);
    double sampleRate() const { return settings_.bandwidths[bandwidth_].sampleRateHz; }

    Settings settings_;
    std::unique_ptr<SignalGenerator> generator_;
    std::vector<std::complex<double>> scratch_;  // one block of samples in volts

    double frequency_ = 0;
    double frequencyExtra_[2] = {1, 0};  // further values of the frequency setting, kept as sent
    std::size_t bandwidth_ = 0;          // index into settings_.bandwidths
    double refLevel_ = 0;
    double refLevelExtra_[2] = {0, 1};
    double videoBandwidth_ = 0;
    int mode_ = 0;
    int calibration_ = 0;
    int64_t clkIndex_ = 0;
    int clkBlock_ = 0;
    double clkExtra_ = 1;
    int64_t clkTotal_ = 0;
    std::vector<double> responseFrequencies_;
    std::vector<double> responseAmplitudes_;
    unsigned resets_ = 0;
    unsigned dataReplies_ = 0;
};

}  // namespace sim::sk
