// The control API: set up devices and faults, read back calls and configurations.
#include <algorithm>

#include "SimState.h"

using namespace htrasim;

namespace {

using Lock = std::lock_guard<std::mutex>;

// Runs `change` on the device if the number is valid, under the lock.
template <typename F>
void withDevice(int device, F change) {
    if (device < 0 || device >= HTRASIM_MAX_DEVICES) return;
    State& s = state();
    Lock lock(s.mutex);
    change(s.devices[device]);
}

}  // namespace

extern "C" {

void HtraSim_Reset(void) {
    State& s = state();
    Lock lock(s.mutex);
    s.reset();
}

void HtraSim_SetDeviceCount(int count) {
    State& s = state();
    Lock lock(s.mutex);
    s.deviceCount = std::clamp(count, 0, int(HTRASIM_MAX_DEVICES));
}

void HtraSim_SetDeviceInfo(int device, uint64_t identifier, uint16_t modelCode) {
    withDevice(device, [&](Device& d) {
        d.identifier = identifier;
        d.model = modelCode;
    });
}

void HtraSim_SetSamplesPerPacket(int device, uint32_t samples) {
    withDevice(device, [&](Device& d) { d.samplesPerPacket = std::min<uint32_t>(samples, 1u << 20); });
}

void HtraSim_SetNativeRate(int device, double rate, int fromCall) {
    withDevice(device, [&](Device& d) {
        d.overrideRate = rate > 0 ? rate : 0;
        d.overrideFromCall = fromCall;
    });
}

void HtraSim_SetSignal(int device, double toneOffsetHz, double toneLevelDbm, double noiseDbm) {
    withDevice(device, [&](Device& d) {
        d.toneOffset = toneOffsetHz;
        d.toneLevel = toneLevelDbm;
        d.noiseLevel = noiseDbm;
        d.raw.clear();
        ++d.signalVersion;
    });
}

void HtraSim_SetRawSamples(int device, const int16_t* iq, size_t pairs, float scale) {
    withDevice(device, [&](Device& d) {
        d.raw.assign(iq, iq + (iq ? 2 * pairs : 0));
        d.rawScale = scale;
        ++d.signalVersion;
    });
}

void HtraSim_SetReportedLevelOffset(int device, double dB) {
    withDevice(device, [&](Device& d) { d.levelOffset = dB; });
}

void HtraSim_SetPacketDelay(int device, unsigned microseconds) {
    withDevice(device, [&](Device& d) { d.packetDelayUs = microseconds; });
}

void HtraSim_InjectStatus(int device, HtraSimFunction function, int call, int count, int status) {
    if (function < 0 || function >= HTRASIM_FUNCTION_COUNT) return;
    State& s = state();
    Lock lock(s.mutex);
    s.injections.push_back({device, function, call, count, status});
}

int HtraSim_CallCount(int device, HtraSimFunction function) {
    if (function < 0 || function >= HTRASIM_FUNCTION_COUNT) return 0;
    const int row = device >= 0 && device < HTRASIM_MAX_DEVICES ? device : HTRASIM_MAX_DEVICES;
    State& s = state();
    Lock lock(s.mutex);
    return s.calls[row][function];
}

int HtraSim_IsOpen(int device) {
    int open = 0;
    withDevice(device, [&](Device& d) { open = d.open; });
    return open;
}

int HtraSim_IsSimulated(int device) {
    State& s = state();
    Lock lock(s.mutex);
    return device >= 0 && device < s.deviceCount ? 1 : 0;
}

int HtraSim_IsStreaming(int device) {
    int streaming = 0;
    withDevice(device, [&](Device& d) { streaming = d.open && d.streaming; });
    return streaming;
}

int HtraSim_GetProfile(int device, HtraSimProfile* out) {
    int result = -1;
    withDevice(device, [&](Device& d) {
        if (!d.configured || out == nullptr) return;
        out->centreFrequency = get<double>(d.profile, kCentre);
        out->referenceLevel = get<double>(d.profile, kRefLevel);
        out->decimation = get<uint32_t>(d.profile, kDecimation);
        out->nativeRate = get<double>(d.profile, kNativeRate);
        out->points = get<uint64_t>(d.profile, kPoints);
        out->extSyncOn = get<uint32_t>(d.profile, kExtSyncOn);
        out->extSyncFrequency = get<double>(d.profile, kExtSyncFrequency);
        out->fixed24 = get<uint32_t>(d.profile, kFixed24);
        out->fixed28 = get<uint32_t>(d.profile, kFixed28);
        out->fixed36 = get<uint32_t>(d.profile, kFixed36);
        out->fixed124 = get<uint32_t>(d.profile, kFixed124);
        result = 0;
    });
    return result;
}

}  // extern "C"
