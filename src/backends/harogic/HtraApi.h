// The contract with the USB analyzers' device library: nine functions and the records they exchange.
// Every function takes the address of the device handle first and returns 0 on success. Only the fields
// the backend uses are named; the rest is reserve so that the library may fill its own layout.
#pragma once

#include <cstddef>
#include <cstdint>

// Passed to Device_Open all zero.
struct OpenProfileRecord {
    uint8_t reserved[40];
};

// Filled by Device_Open and never read; the open is given ample room beyond it (see GuardedRecord.h).
struct OpenInfoRecord {
    uint8_t reserved[256];
};

struct DeviceInfoRecord {
    uint64_t identifier;
    uint16_t modelCode;
    uint8_t reserved[246];
};

// The I/Q streaming profile; also what each packet reports as being in force.
struct StreamProfileRecord {
    double centreFrequency;  // Hz
    double referenceLevel;   // dBm
    uint32_t decimation;
    uint8_t reserved20[4];
    uint32_t fixed24;  // the device expects 5000, 2 and 0 in these three for bus-triggered streaming
    uint32_t fixed28;
    uint8_t reserved32[4];
    uint32_t fixed36;
    uint64_t points;  // per acquisition
    uint8_t reserved48[76];
    uint32_t fixed124;  // 0
    uint8_t reserved128[12];
    uint32_t extSyncOn;
    double extSyncFrequency;  // Hz
    uint8_t reserved152[16];
    double nativeRate;  // samples/s before decimation
    uint8_t reserved176[32];
};

struct StreamInfoRecord {
    uint8_t reserved0[40];
    uint32_t samplesPerPacket;
    uint8_t reserved44[12];
};

struct StreamPacketRecord {
    const int16_t* samples;  // interleaved I, Q; valid until the next library call
    float scale;
    uint8_t reserved12[12];
    StreamProfileRecord profile;
    uint8_t reserved232[24];
};

struct DeviceState_TypeDef {
    uint8_t bytes[64];
};

static_assert(sizeof(OpenProfileRecord) == 40, "open profile size");
static_assert(sizeof(OpenInfoRecord) >= 104, "open info holds at least the cleared part");
static_assert(offsetof(DeviceInfoRecord, identifier) == 0 && offsetof(DeviceInfoRecord, modelCode) == 8,
              "device info offsets");
static_assert(sizeof(StreamProfileRecord) == 208, "stream profile size");
static_assert(offsetof(StreamProfileRecord, centreFrequency) == 0 &&
                  offsetof(StreamProfileRecord, referenceLevel) == 8 &&
                  offsetof(StreamProfileRecord, decimation) == 16 &&
                  offsetof(StreamProfileRecord, fixed24) == 24 &&
                  offsetof(StreamProfileRecord, fixed28) == 28 &&
                  offsetof(StreamProfileRecord, fixed36) == 36 &&
                  offsetof(StreamProfileRecord, points) == 40 &&
                  offsetof(StreamProfileRecord, fixed124) == 124 &&
                  offsetof(StreamProfileRecord, extSyncOn) == 140 &&
                  offsetof(StreamProfileRecord, extSyncFrequency) == 144 &&
                  offsetof(StreamProfileRecord, nativeRate) == 168,
              "stream profile offsets");
static_assert(sizeof(StreamInfoRecord) == 56 && offsetof(StreamInfoRecord, samplesPerPacket) == 40,
              "stream info layout");
static_assert(offsetof(StreamPacketRecord, samples) == 0 && offsetof(StreamPacketRecord, scale) == 8 &&
                  offsetof(StreamPacketRecord, profile) == 24 &&
                  offsetof(StreamPacketRecord, profile) + offsetof(StreamProfileRecord, nativeRate) == 192,
              "stream packet offsets");
static_assert(sizeof(DeviceState_TypeDef) == 64, "device state size");

// Statuses the backend tells apart.
namespace trv::htra {
constexpr int kOk = 0;
constexpr int kNoDevice = -1;
constexpr int kRfCalibrationMissing = -3;
constexpr int kIfCalibrationMissing = -4;
constexpr int kConfigurationMissing = -5;
constexpr int kDeviceFileMissing = -6;
constexpr int kBusTimeout = -10;
constexpr int kIfSaturation = -12;
constexpr int kTemperatureWarning = -14;
}  // namespace trv::htra

extern "C" {
int Device_Open(void** device, int deviceNumber, const OpenProfileRecord* profile, OpenInfoRecord* info);
int Device_Close(void** device);
int Device_QueryDeviceInfo(void** device, DeviceInfoRecord* info);
int Device_QueryDeviceState_Realtime(void** device, DeviceState_TypeDef* state);
int IQS_ProfileDeInit(void** device, StreamProfileRecord* profile);
int IQS_Configuration(void** device, const StreamProfileRecord* in, StreamProfileRecord* out,
                      StreamInfoRecord* info);
int IQS_BusTriggerStart(void** device);
int IQS_BusTriggerStop(void** device);
int IQS_GetIQStream_PM1(void** device, StreamPacketRecord* packet);
}
