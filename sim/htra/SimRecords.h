// The stand-in's own reading of the records the library exchanges: byte offsets into the caller's
// memory, kept apart from the backend's structs so that a layout mistake on one side shows up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace htrasim {

constexpr std::size_t kInfoIdentifier = 0;  // u64
constexpr std::size_t kInfoModel = 8;       // u16

constexpr std::size_t kProfileSize = 208;
constexpr std::size_t kCentre = 0;              // f64 Hz
constexpr std::size_t kRefLevel = 8;            // f64 dBm
constexpr std::size_t kDecimation = 16;         // u32
constexpr std::size_t kFixed24 = 24;            // u32
constexpr std::size_t kFixed28 = 28;            // u32
constexpr std::size_t kFixed36 = 36;            // u32
constexpr std::size_t kPoints = 40;             // u64
constexpr std::size_t kFixed124 = 124;          // u32
constexpr std::size_t kExtSyncOn = 140;         // u32
constexpr std::size_t kExtSyncFrequency = 144;  // f64 Hz
constexpr std::size_t kNativeRate = 168;        // f64 samples/s

constexpr std::size_t kStreamInfoSize = 56;
constexpr std::size_t kSamplesPerPacket = 40;  // u32

constexpr std::size_t kPacketSamples = 0;   // const int16_t*
constexpr std::size_t kPacketScale = 8;     // f32
constexpr std::size_t kPacketProfile = 24;  // the profile in force

constexpr std::size_t kDeviceStateSize = 64;

template <typename T>
T get(const void* record, std::size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const unsigned char*>(record) + offset, sizeof value);
    return value;
}

template <typename T>
void put(void* record, std::size_t offset, T value) {
    std::memcpy(static_cast<unsigned char*>(record) + offset, &value, sizeof value);
}

}  // namespace htrasim
