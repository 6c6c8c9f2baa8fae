// Where the strongest line of a block lies and how strong it is, from a plain DFT that shares nothing
// with the library's FFT code.
#pragma once

#include <QVector>
#include <cmath>
#include <complex>
#include <vector>

#include "trelvan/Records.h"

namespace support {

struct Tone {
    double offsetHz = NAN;  // from the block's centre
    double power = 0;       // mean |x|^2 of the line, in the block's own units squared
};

// Searches the first `maxPoints` points (a DFT of that size); the power is that of a sinusoid at the
// best bin, so a tone on a bin reads its amplitude squared.
template <class Sample>
Tone strongestTone(const Sample* block, int size, double sampleRate, int maxPoints = 2048) {
    const int n = std::min(size, maxPoints);
    Tone tone;
    if (n == 0) return tone;
    const double pi = std::acos(-1.0);
    int best = 0;
    double bestNorm = -1;
    for (int k = 0; k < n; ++k) {
        std::complex<double> sum = 0, w = 1;
        const std::complex<double> step = std::polar(1.0, -2 * pi * k / n);
        for (int i = 0; i < n; ++i, w *= step) sum += std::complex<double>(block[i].real(), block[i].imag()) * w;
        if (std::norm(sum) > bestNorm) bestNorm = std::norm(sum), best = k;
    }
    tone.offsetHz = (best <= n / 2 ? best : best - n) * sampleRate / n;
    tone.power = bestNorm / (double(n) * n);
    return tone;
}

inline Tone strongestTone(const QVector<IQ_Elem>& block, double sampleRate, int maxPoints = 2048) {
    std::vector<std::complex<double>> c(block.size());
    for (int i = 0; i < block.size(); ++i) c[i] = {block[i].I, block[i].Q};
    return strongestTone(c.data(), int(c.size()), sampleRate, maxPoints);
}

inline Tone strongestTone(const std::vector<std::complex<double>>& block, double sampleRate,
                          int maxPoints = 2048) {
    return strongestTone(block.data(), int(block.size()), sampleRate, maxPoints);
}

}  // namespace support
