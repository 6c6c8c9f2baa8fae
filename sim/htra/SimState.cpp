#include "SimState.h"

#include <SignalGenerator.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>

namespace htrasim {

namespace {
// Packets are cut from a stored stretch at least this long, so a packet costs no signal synthesis.
constexpr std::size_t kRingPairs = 1u << 16;
constexpr int16_t kFullScale = 32767;
}  // namespace

State& state() {
    static State s;
    return s;
}

int requestedDevices() {
    const char* text = std::getenv("TRELVAN_SIMULATED_USB");
    if (text == nullptr || std::strlen(text) != 1 || text[0] < '1' || text[0] > '8') return 0;
    return text[0] - '0';
}

void State::reset() {
    deviceCount = requestedDevices();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        Device fresh;
        fresh.identifier = 1000001 + i;
        devices[i] = std::move(fresh);
    }
    for (auto& row : calls) row.fill(0);
    injections.clear();
}

int countCall(State& s, int device, HtraSimFunction function) {
    const int row = device >= 0 && device < HTRASIM_MAX_DEVICES ? device : HTRASIM_MAX_DEVICES;
    const int call = ++s.calls[row][function];
    if (row == HTRASIM_MAX_DEVICES) return 0;
    for (const Injection& i : s.injections) {
        if (i.device == device && i.function == function && call >= i.first && call < i.first + i.count)
            return i.status;
    }
    return 0;
}

void* handleFor(int device, uint64_t generation) {
    return reinterpret_cast<void*>(
        static_cast<uintptr_t>((generation << 8) | static_cast<uint64_t>(device + 1)));
}

int deviceOf(const State& s, void* const* handle) {
    if (handle == nullptr || *handle == nullptr) return -1;
    const auto value = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(*handle));
    const int device = static_cast<int>(value & 0xFF) - 1;
    if (device < 0 || device >= HTRASIM_MAX_DEVICES) return -1;
    const Device& d = s.devices[device];
    return d.open && (value >> 8) == d.generation ? device : -1;
}

void prepareRing(Device& d, int index, double rate, double level) {
    const uint32_t perPacket = d.configuredPerPacket;
    if (d.ringRate == rate && d.ringLevel == level && d.ringPerPacket == perPacket &&
        d.ringVersion == d.signalVersion)
        return;
    d.ringRate = rate;
    d.ringLevel = level;
    d.ringPerPacket = perPacket;
    d.ringVersion = d.signalVersion;
    d.cursor = 0;
    d.ringPackets = perPacket ? std::max<std::size_t>(1, (kRingPairs + perPacket - 1) / perPacket) : 1;
    const std::size_t pairs = d.ringPackets * perPacket;
    d.ring.assign(2 * pairs, 0);
    d.clipped.assign(d.ringPackets, 0);

    if (!d.raw.empty()) {
        for (std::size_t i = 0; i < d.ring.size(); ++i) d.ring[i] = d.raw[i % d.raw.size()];
        d.ringScale = d.rawScale;
        return;
    }

    // Full scale sits 3 dB above a tone at the reference level.
    const double fullScale = sim::dbmToVolts(level) * std::sqrt(2.0);
    d.ringScale = static_cast<float>(fullScale / kFullScale);
    sim::SignalGenerator generator(static_cast<uint64_t>(index) + 1);
    // The device's channel filter removes what lies outside the decimated band.
    if (std::abs(d.toneOffset) < rate / 2) generator.setTones({{d.toneOffset, d.toneLevel}});
    generator.setNoiseDbm(d.noiseLevel);
    std::vector<std::complex<double>> signal(pairs);
    generator.generate(rate, pairs, signal.data());
    const double toCounts = 1.0 / d.ringScale;
    for (std::size_t i = 0; i < pairs; ++i) {
        const double parts[2] = {signal[i].real() * toCounts, signal[i].imag() * toCounts};
        for (int c = 0; c < 2; ++c) {
            const double counts = std::round(parts[c]);
            if (std::abs(counts) > kFullScale) d.clipped[i / perPacket] = 1;
            d.ring[2 * i + c] =
                static_cast<int16_t>(std::clamp(counts, -double(kFullScale), double(kFullScale)));
        }
    }
}

}  // namespace htrasim
