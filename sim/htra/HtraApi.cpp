// The nine device-library functions over the simulated devices.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "SimState.h"

#define HTRA_EXPORT extern "C" __attribute__((visibility("default")))

using namespace htrasim;

namespace {

constexpr double kMinCentre = 9e3, kMaxCentre = 2e10;
constexpr double kMinLevel = -50, kMaxLevel = 20;
constexpr double kMaxNativeRate = 1.25e8;
constexpr uint32_t kMaxDecimation = 4096;

using Lock = std::lock_guard<std::mutex>;

void defaultProfile(void* profile) {
    std::memset(profile, 0, kProfileSize);
    put<double>(profile, kCentre, 1e9);
    put<double>(profile, kRefLevel, -20);
    put<uint32_t>(profile, kDecimation, 1);
    put<uint32_t>(profile, kFixed24, 1000);
    put<uint32_t>(profile, kFixed28, 1);
    put<uint64_t>(profile, kPoints, 16384);
    put<double>(profile, kExtSyncFrequency, 1e7);
    put<double>(profile, kNativeRate, kMaxNativeRate);
}

bool acceptable(const void* profile) {
    const auto decimation = get<uint32_t>(profile, kDecimation);
    const auto rate = get<double>(profile, kNativeRate);
    const bool powerOfTwo = decimation != 0 && (decimation & (decimation - 1)) == 0;
    return powerOfTwo && decimation <= kMaxDecimation && rate > 0 && rate <= kMaxNativeRate &&
           std::isfinite(get<double>(profile, kCentre)) && std::isfinite(get<double>(profile, kRefLevel));
}

}  // namespace

HTRA_EXPORT int Device_Open(void** device, int number, const void* /*profile*/, void* info) {
    State& s = state();
    Lock lock(s.mutex);
    const int injected = countCall(s, number, HTRASIM_DEVICE_OPEN);
    if (injected != 0) return injected;
    if (number < 0 || number >= s.deviceCount || device == nullptr) return HTRASIM_STATUS_NO_DEVICE;
    Device& d = s.devices[number];
    if (d.open) return HTRASIM_STATUS_IN_USE;
    d.open = true;
    d.generation = s.nextGeneration++;
    d.configured = false;
    d.streaming = false;
    *device = handleFor(number, d.generation);
    if (info) put<uint64_t>(info, 0, d.identifier);
    return 0;
}

HTRA_EXPORT int Device_Close(void** device) {
    State& s = state();
    Lock lock(s.mutex);
    const int index = deviceOf(s, device);
    const int injected = countCall(s, index, HTRASIM_DEVICE_CLOSE);
    if (index < 0) return HTRASIM_STATUS_BAD_HANDLE;
    Device& d = s.devices[index];
    d.open = false;
    d.configured = false;
    d.streaming = false;
    *device = nullptr;
    return injected;
}

HTRA_EXPORT int Device_QueryDeviceInfo(void** device, void* info) {
    State& s = state();
    Lock lock(s.mutex);
    const int index = deviceOf(s, device);
    const int injected = countCall(s, index, HTRASIM_QUERY_DEVICE_INFO);
    if (index < 0) return HTRASIM_STATUS_BAD_HANDLE;
    if (injected != 0) return injected;
    put<uint64_t>(info, kInfoIdentifier, s.devices[index].identifier);
    put<uint16_t>(info, kInfoModel, s.devices[index].model);
    return 0;
}

HTRA_EXPORT int Device_QueryDeviceState_Realtime(void** device, void* deviceState) {
    State& s = state();
    Lock lock(s.mutex);
    const int index = deviceOf(s, device);
    const int injected = countCall(s, index, HTRASIM_QUERY_DEVICE_STATE);
    if (index < 0) return HTRASIM_STATUS_BAD_HANDLE;
    if (injected != 0 && injected != -12 && injected != -14) return injected;
    std::memset(deviceState, 0, kDeviceStateSize);
    put<double>(deviceState, 0, 40.0 + index);  // board temperature, degrees
    put<uint32_t>(deviceState, 8, s.devices[index].streaming ? 1 : 0);
    put<uint32_t>(deviceState, 12, static_cast<uint32_t>(index));
    return injected;
}

HTRA_EXPORT int IQS_ProfileDeInit(void** device, void* profile) {
    State& s = state();
    Lock lock(s.mutex);
    const int index = deviceOf(s, device);
    const int injected = countCall(s, index, HTRASIM_PROFILE_DEINIT);
    if (index < 0) return HTRASIM_STATUS_BAD_HANDLE;
    defaultProfile(profile);
    return injected;
}

HTRA_EXPORT int IQS_Configuration(void** device, const void* in, void* out, void* info) {
    State& s = state();
    Lock lock(s.mutex);
    const int index = deviceOf(s, device);
    const int injected = countCall(s, index, HTRASIM_CONFIGURATION);
    if (index < 0) return HTRASIM_STATUS_BAD_HANDLE;
    if (injected != 0) return injected;
    if (!acceptable(in)) return HTRASIM_STATUS_BAD_PROFILE;
    Device& d = s.devices[index];
    std::memcpy(d.profile, in, kProfileSize);
    // The front end cannot tune or range beyond its hardware; what it applied is what packets report.
    put<double>(d.profile, kCentre, std::clamp(get<double>(in, kCentre), kMinCentre, kMaxCentre));
    put<double>(d.profile, kRefLevel, std::clamp(get<double>(in, kRefLevel), kMinLevel, kMaxLevel));
    d.configured = true;
    d.streaming = false;
    d.configuredPerPacket = d.samplesPerPacket;
    d.cursor = 0;
    if (out) std::memcpy(out, d.profile, kProfileSize);
    if (info) {
        std::memset(info, 0, kStreamInfoSize);
        put<uint32_t>(info, kSamplesPerPacket, d.configuredPerPacket);
    }
    return 0;
}

HTRA_EXPORT int IQS_BusTriggerStart(void** device) {
    State& s = state();
    Lock lock(s.mutex);
    const int index = deviceOf(s, device);
    const int injected = countCall(s, index, HTRASIM_BUS_TRIGGER_START);
    if (index < 0) return HTRASIM_STATUS_BAD_HANDLE;
    if (injected != 0) return injected;
    Device& d = s.devices[index];
    if (!d.configured) return HTRASIM_STATUS_BAD_PROFILE;
    // One trigger delivers the packets that cover the configured points; 0 points streams on.
    const auto points = get<uint64_t>(d.profile, kPoints);
    const uint64_t perPacket = std::max<uint32_t>(d.configuredPerPacket, 1);
    d.packetsLeft = points ? static_cast<int64_t>((points + perPacket - 1) / perPacket) : -1;
    d.streaming = true;
    return 0;
}

HTRA_EXPORT int IQS_BusTriggerStop(void** device) {
    State& s = state();
    Lock lock(s.mutex);
    const int index = deviceOf(s, device);
    const int injected = countCall(s, index, HTRASIM_BUS_TRIGGER_STOP);
    if (index < 0) return HTRASIM_STATUS_BAD_HANDLE;
    if (injected != 0) return injected;
    s.devices[index].streaming = false;
    return 0;
}

HTRA_EXPORT int IQS_GetIQStream_PM1(void** device, void* packet) {
    State& s = state();
    unsigned delayUs = 0;
    int status = 0;
    int index = -1;
    uint64_t generation = 0;
    {
        Lock lock(s.mutex);
        index = deviceOf(s, device);
        const int injected = countCall(s, index, HTRASIM_GET_IQ_STREAM);
        if (index < 0) return HTRASIM_STATUS_BAD_HANDLE;
        Device& d = s.devices[index];
        delayUs = d.packetDelayUs;
        generation = d.generation;
        const bool deliver = injected == 0 || injected == HTRASIM_STATUS_SATURATED;
        if (!deliver) {
            status = injected;
        } else if (!d.configured || !d.streaming || d.packetsLeft == 0) {
            status = HTRASIM_STATUS_NO_DATA;
        } else {
            const int call = s.calls[index][HTRASIM_GET_IQ_STREAM];
            const bool overridden = d.overrideRate > 0 && call >= d.overrideFromCall;
            const double nativeRate = overridden ? d.overrideRate : get<double>(d.profile, kNativeRate);
            const auto decimation = get<uint32_t>(d.profile, kDecimation);
            const double level = get<double>(d.profile, kRefLevel);
            prepareRing(d, index, nativeRate / decimation, level);

            const std::size_t at = d.cursor;
            d.cursor = (d.cursor + 1) % d.ringPackets;
            if (d.packetsLeft > 0) --d.packetsLeft;
            const int16_t* samples = d.ring.data() + 2 * at * d.configuredPerPacket;
            put<const int16_t*>(packet, kPacketSamples, samples);
            put<float>(packet, kPacketScale, d.ringScale);
            unsigned char* reported = static_cast<unsigned char*>(packet) + kPacketProfile;
            std::memcpy(reported, d.profile, kProfileSize);
            put<double>(reported, kNativeRate, nativeRate);
            put<double>(reported, kRefLevel, level + d.levelOffset);
            status = injected != 0 ? injected : (d.clipped[at] ? HTRASIM_STATUS_SATURATED : 0);
        }
    }
    if (delayUs == 0) return status;
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
    // A close that lands while the packet is still on the bus loses it.
    Lock lock(s.mutex);
    const Device& d = s.devices[index];
    return d.open && d.generation == generation ? status : HTRASIM_STATUS_BAD_HANDLE;
}
