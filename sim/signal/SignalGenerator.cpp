#include "SignalGenerator.h"

#include <cmath>

namespace sim {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr std::size_t kNoiseTable = 1u << 16;  // power of two
}  // namespace

double dbmToVolts(double dbm) { return std::sqrt(0.05 * std::pow(10.0, dbm / 10.0)); }

double voltsToDbm(double volts) { return 10.0 * std::log10(volts * volts / 0.05); }

SignalGenerator::SignalGenerator(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {
    // A table of Gaussian samples drawn once; generation then costs a lookup per sample.
    noise_.resize(kNoiseTable);
    for (auto& s : noise_) {
        const double u1 = (static_cast<double>(nextRandom() >> 11) + 1.0) / 9007199254740993.0;
        const double u2 = static_cast<double>(nextRandom() >> 11) / 9007199254740992.0;
        const double r = std::sqrt(-std::log(u1));  // unit total power: E|s|^2 = 1
        s = {r * std::cos(2 * kPi * u2), r * std::sin(2 * kPi * u2)};
    }
}

uint64_t SignalGenerator::nextRandom() {
    // xorshift64*
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 2685821657736338717ull;
}

void SignalGenerator::setTones(std::vector<Tone> tones) {
    tones_ = std::move(tones);
    restart();
}

void SignalGenerator::setNoiseDbm(double dbm) { noiseDbm_ = dbm; }

void SignalGenerator::restart() { phase_.assign(tones_.size(), {1.0, 0.0}); }

std::vector<std::complex<double>> SignalGenerator::generate(double sampleRate, std::size_t n) {
    std::vector<std::complex<double>> out(n);
    generate(sampleRate, n, out.data());
    return out;
}

void SignalGenerator::generate(double sampleRate, std::size_t n, std::complex<double>* out) {
    if (sampleRate != lastRate_) {
        restart();
        lastRate_ = sampleRate;
    }
    const bool noisy = std::isfinite(noiseDbm_) && noiseDbm_ > -300.0;
    const double noiseAmp = noisy ? dbmToVolts(noiseDbm_) : 0.0;
    std::size_t pos = (noisePos_ + static_cast<std::size_t>(nextRandom())) & (kNoiseTable - 1);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = noiseAmp * noise_[pos];
        pos = (pos + 1) & (kNoiseTable - 1);
    }
    noisePos_ = pos;
    for (std::size_t t = 0; t < tones_.size(); ++t) {
        const double amp = dbmToVolts(tones_[t].levelDbm);
        const double w = sampleRate > 0 ? 2 * kPi * tones_[t].offsetHz / sampleRate : 0.0;
        const std::complex<double> step(std::cos(w), std::sin(w));
        std::complex<double> ph = phase_[t];
        for (std::size_t i = 0; i < n; ++i) {
            out[i] += amp * ph;
            ph *= step;
            // Renormalise now and then so rounding does not let the amplitude drift over long blocks.
            if ((i & 1023) == 1023) ph /= std::abs(ph);
        }
        phase_[t] = ph / std::abs(ph);
    }
}

}  // namespace sim
