/* Control of the simulated USB analyzers behind the htra_api stand-in: tests and the demo set up the
 * attached devices, their signal and faults, and read back what the library was asked to do. */
#ifndef HTRA_SIM_H
#define HTRA_SIM_H

#include <stddef.h>
#include <stdint.h>

#define HTRASIM_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

enum { HTRASIM_MAX_DEVICES = 16 };
/* Pass as the device to HtraSim_CallCount for calls made with a handle the library did not issue. */
enum { HTRASIM_UNKNOWN_HANDLE = -1 };

typedef enum HtraSimFunction {
    HTRASIM_DEVICE_OPEN,
    HTRASIM_DEVICE_CLOSE,
    HTRASIM_QUERY_DEVICE_INFO,
    HTRASIM_QUERY_DEVICE_STATE,
    HTRASIM_PROFILE_DEINIT,
    HTRASIM_CONFIGURATION,
    HTRASIM_BUS_TRIGGER_START,
    HTRASIM_BUS_TRIGGER_STOP,
    HTRASIM_GET_IQ_STREAM,
    HTRASIM_FUNCTION_COUNT
} HtraSimFunction;

/* Statuses the simulated devices produce on their own. */
enum {
    HTRASIM_STATUS_NO_DEVICE = -1,   /* nothing attached at that number */
    HTRASIM_STATUS_IN_USE = -2,      /* already open */
    HTRASIM_STATUS_BAD_HANDLE = -8,  /* not a handle of an open device */
    HTRASIM_STATUS_BAD_PROFILE = -9, /* decimation or native rate out of range */
    HTRASIM_STATUS_NO_DATA = -10,    /* packet asked for while the trigger delivers none */
    HTRASIM_STATUS_SATURATED = -12   /* the packet clipped at full scale */
};

/* What the device applied at its last successful configuration. */
typedef struct HtraSimProfile {
    double centreFrequency;
    double referenceLevel;
    uint32_t decimation;
    double nativeRate;
    uint64_t points;
    uint32_t extSyncOn;
    double extSyncFrequency;
    uint32_t fixed24, fixed28, fixed36, fixed124;
} HtraSimProfile;

/* Back to the closed devices TRELVAN_SIMULATED_USB asks for (1 to 8; none when unset or anything else),
 * numbered from 0, identifiers from 1000001, model 10, 4096 samples per packet, a -30 dBm tone at
 * +1 MHz over -90 dBm of noise; no faults, all counters zero. The library starts in this state. */
HTRASIM_API void HtraSim_Reset(void);
HTRASIM_API void HtraSim_SetDeviceCount(int count);
HTRASIM_API void HtraSim_SetDeviceInfo(int device, uint64_t identifier, uint16_t modelCode);
/* Takes effect at the next configuration. */
HTRASIM_API void HtraSim_SetSamplesPerPacket(int device, uint32_t samples);
/* The converter runs at `rate` instead of the configured native rate from the `fromCall`-th packet
 * read on (counted like HtraSim_CallCount; 0 means at once). A rate of 0 restores the configured one. */
HTRASIM_API void HtraSim_SetNativeRate(int device, double rate, int fromCall);
HTRASIM_API void HtraSim_SetSignal(int device, double toneOffsetHz, double toneLevelDbm, double noiseDbm);
/* Packets carry these interleaved I/Q pairs, repeated, with this scale; 0 pairs returns to the signal. */
HTRASIM_API void HtraSim_SetRawSamples(int device, const int16_t* iq, size_t pairs, float scale);
/* Packets report the reference level shifted by this much (a calibration offset). */
HTRASIM_API void HtraSim_SetReportedLevelOffset(int device, double dB);
/* Each packet read waits this long, as a transfer over the bus would. */
HTRASIM_API void HtraSim_SetPacketDelay(int device, unsigned microseconds);
/* Calls number call .. call + count - 1 of `function` on `device` (1-based, counted since the reset)
 * return `status`. A 0 or -12 packet read still delivers a packet; other statuses deliver nothing. */
HTRASIM_API void HtraSim_InjectStatus(int device, HtraSimFunction function, int call, int count, int status);
HTRASIM_API int HtraSim_CallCount(int device, HtraSimFunction function);
HTRASIM_API int HtraSim_IsOpen(int device);
/* 1 when `device` is a simulated device this library reports, 0 otherwise. Hosts that find this symbol
 * know the device library in use is this stand-in. */
HTRASIM_API int HtraSim_IsSimulated(int device);
HTRASIM_API int HtraSim_IsStreaming(int device);
/* 0 and *out filled when the device has a configuration in force, -1 otherwise. */
HTRASIM_API int HtraSim_GetProfile(int device, HtraSimProfile* out);

#ifdef __cplusplus
}
#endif

#endif
