// The simulated devices and everything the control API can set or read, under one lock.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

#include "HtraSim.h"
#include "SimRecords.h"

namespace htrasim {

struct Injection {
    int device;
    int function;
    int first;
    int count;
    int status;
};

struct Device {
    // Set up by the control API.
    uint64_t identifier = 0;
    uint16_t model = 10;
    uint32_t samplesPerPacket = 4096;
    double overrideRate = 0;
    int overrideFromCall = 0;
    double toneOffset = 1e6;
    double toneLevel = -30;
    double noiseLevel = -90;
    std::vector<int16_t> raw;
    float rawScale = 1.0f;
    double levelOffset = 0;
    unsigned packetDelayUs = 0;

    // Life of the device.
    bool open = false;
    uint64_t generation = 0;  // of the open; stale handles do not match
    bool configured = false;
    unsigned char profile[kProfileSize] = {};  // in force
    uint32_t configuredPerPacket = 0;
    bool streaming = false;
    int64_t packetsLeft = 0;  // in this trigger; negative: unlimited

    // The stored stretch of signal that packets are cut from.
    std::vector<int16_t> ring;
    std::vector<uint8_t> clipped;  // per packet of the ring
    float ringScale = 1.0f;
    std::size_t ringPackets = 0;
    std::size_t cursor = 0;
    double ringRate = -1, ringLevel = 0;
    uint32_t ringPerPacket = 0;
    uint64_t ringVersion = ~0ull;
    uint64_t signalVersion = 0;
};

struct State {
    State() { reset(); }
    std::mutex mutex;
    int deviceCount = 0;
    std::array<Device, HTRASIM_MAX_DEVICES> devices;
    // Row HTRASIM_MAX_DEVICES counts calls that named no known device.
    std::array<std::array<int, HTRASIM_FUNCTION_COUNT>, HTRASIM_MAX_DEVICES + 1> calls{};
    std::vector<Injection> injections;
    uint64_t nextGeneration = 1;

    void reset();
};

State& state();

// The device count TRELVAN_SIMULATED_USB asks for: 1 to 8, otherwise none, so that a machine with the
// stand-in installed never shows a device nobody asked for.
int requestedDevices();

// Counts the call and returns the injected status for it, or 0 when none is due.
int countCall(State& s, int device, HtraSimFunction function);
// The open device a handle names, or -1.
int deviceOf(const State& s, void* const* handle);
void* handleFor(int device, uint64_t generation);
// Makes the ring match the device's current rate, level and packet size.
void prepareRing(Device& d, int index, double rate, double level);

}  // namespace htrasim
