// The known signal every emulated instrument delivers: tones at offsets from the centre plus white noise,
// as complex baseband samples in volts. A tone of L dBm has |x|^2 / 50 Ohm = L, so its amplitude is
// sqrt(0.05 * 10^(L/10)) V; the noise's total power over the sample rate is the noise level in dBm.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

struct Tone {
    double offsetHz;  // from the centre frequency
    double levelDbm;
};

// Amplitude in volts of a tone of the given level, and the reverse.
double dbmToVolts(double dbm);
double voltsToDbm(double volts);

class SignalGenerator {
public:
    explicit SignalGenerator(uint64_t seed = 1);

    void setTones(std::vector<Tone> tones);
    const std::vector<Tone>& tones() const { return tones_; }
    // Total noise power in dBm; -inf or below -300 turns the noise off.
    void setNoiseDbm(double dbm);
    double noiseDbm() const { return noiseDbm_; }

    // Next n samples at the given rate. Tones keep their phase from one call to the next, so successive
    // blocks of one acquisition join without a step; a change of rate restarts the phase.
    void generate(double sampleRate, std::size_t n, std::complex<double>* out);
    std::vector<std::complex<double>> generate(double sampleRate, std::size_t n);
    // Starts the tones again at phase 0.
    void restart();

private:
    std::vector<Tone> tones_;
    std::vector<std::complex<double>> phase_;  // one phasor per tone
    double noiseDbm_ = -90.0;
    double lastRate_ = 0.0;
    uint64_t state_;
    std::vector<std::complex<double>> noise_;  // unit-power Gaussian samples, drawn from at random offsets
    std::size_t noisePos_ = 0;
    uint64_t nextRandom();
};

}  // namespace sim
