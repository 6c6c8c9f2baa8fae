/* A USB device library for tests, written from the nine functions' contract alone and sharing no code
 * with the stand-in: what a vendor's libhtra_api.so looks like to the backend. Its records are larger
 * than the fields the backend reads, as a vendor's may be. Three devices are attached, of model codes
 * 10, 94 and 42; device n has identifier 7000 + n. HTRA_TEST_RECORD_BYTES, read at every call, is the
 * number of bytes written into each device information and packet record (default 1024).
 * Packets carry a tone 1 MHz above the centre at the configured output rate, 4096 pairs each. */
#include <math.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))
#define MAX_DEVICES 8
#define PAIRS 4096
#define PROFILE_BYTES 208

struct device {
    int open;
    int streaming;
    unsigned char profile[PROFILE_BYTES];
    double phase;
    int16_t samples[2 * PAIRS];
};

static struct device devices[MAX_DEVICES];

/* Marks this library for tests that need to steer it. */
EXPORT int HtraTest_Present(void) { return 1; }

static int model_of(int number) {
    static const int models[] = {10, 94, 42};
    return number >= 0 && number < 3 ? models[number] : -1;
}

static size_t record_bytes(size_t least) {
    const char* text = getenv("HTRA_TEST_RECORD_BYTES");
    size_t bytes = text ? (size_t)strtoul(text, NULL, 10) : 1024;
    return bytes < least ? least : bytes;
}

static struct device* device_of(void** handle) {
    if (handle == NULL || *handle == NULL) return NULL;
    for (int n = 0; n < MAX_DEVICES; ++n) {
        if (*handle == &devices[n] && devices[n].open) return &devices[n];
    }
    return NULL;
}

static void put(void* record, size_t offset, const void* value, size_t size) {
    memcpy((unsigned char*)record + offset, value, size);
}

static void get(const void* record, size_t offset, void* value, size_t size) {
    memcpy(value, (const unsigned char*)record + offset, size);
}

EXPORT int Device_Open(void** handle, int number, const void* profile, void* info) {
    (void)profile;
    if (handle == NULL || number < 0 || model_of(number) < 0) return -1;
    if (devices[number].open) return -2;
    memset(&devices[number], 0, sizeof devices[number]);
    devices[number].open = 1;
    *handle = &devices[number];
    if (info) memset(info, 0x11, 104);
    return 0;
}

EXPORT int Device_Close(void** handle) {
    struct device* d = device_of(handle);
    if (d == NULL) return -8;
    d->open = 0;
    *handle = NULL;
    return 0;
}

EXPORT int Device_QueryDeviceInfo(void** handle, void* info) {
    struct device* d = device_of(handle);
    if (d == NULL) return -8;
    memset(info, 0x5A, record_bytes(16));
    uint64_t identifier = 7000 + (uint64_t)(d - devices);
    uint16_t model = (uint16_t)model_of((int)(d - devices));
    put(info, 0, &identifier, sizeof identifier);
    put(info, 8, &model, sizeof model);
    return 0;
}

EXPORT int Device_QueryDeviceState_Realtime(void** handle, void* state) {
    if (device_of(handle) == NULL) return -8;
    memset(state, 0, 64);
    return 0;
}

EXPORT int IQS_ProfileDeInit(void** handle, void* profile) {
    if (device_of(handle) == NULL) return -8;
    double centre = 1e9, level = -20, rate = 1.25e8;
    uint32_t decimation = 1;
    memset(profile, 0, PROFILE_BYTES);
    put(profile, 0, &centre, sizeof centre);
    put(profile, 8, &level, sizeof level);
    put(profile, 16, &decimation, sizeof decimation);
    put(profile, 168, &rate, sizeof rate);
    return 0;
}

EXPORT int IQS_Configuration(void** handle, const void* in, void* out, void* info) {
    struct device* d = device_of(handle);
    if (d == NULL) return -8;
    uint32_t decimation = 0;
    double rate = 0;
    get(in, 16, &decimation, sizeof decimation);
    get(in, 168, &rate, sizeof rate);
    if (decimation == 0 || rate <= 0 || rate > 1.25e8) return -9;
    memcpy(d->profile, in, PROFILE_BYTES);
    d->streaming = 0;
    if (out) memcpy(out, in, PROFILE_BYTES);
    uint32_t pairs = PAIRS;
    memset(info, 0, 56);
    put(info, 40, &pairs, sizeof pairs);
    return 0;
}

EXPORT int IQS_BusTriggerStart(void** handle) {
    struct device* d = device_of(handle);
    if (d == NULL) return -8;
    d->streaming = 1;
    return 0;
}

EXPORT int IQS_BusTriggerStop(void** handle) {
    struct device* d = device_of(handle);
    if (d == NULL) return -8;
    d->streaming = 0;
    return 0;
}

EXPORT int IQS_GetIQStream_PM1(void** handle, void* packet) {
    struct device* d = device_of(handle);
    if (d == NULL) return -8;
    if (!d->streaming) return -10;

    uint32_t decimation = 1;
    double native = 0;
    get(d->profile, 16, &decimation, sizeof decimation);
    get(d->profile, 168, &native, sizeof native);
    const double step = 2 * M_PI * 1e6 / (native / decimation);
    for (int k = 0; k < PAIRS; ++k) {
        d->samples[2 * k] = (int16_t)lrint(8000 * cos(d->phase));
        d->samples[2 * k + 1] = (int16_t)lrint(8000 * sin(d->phase));
        d->phase = fmod(d->phase + step, 2 * M_PI);
    }
    const int16_t* samples = d->samples;
    float scale = 1e-4f;
    memset(packet, 0x5A, record_bytes(24 + PROFILE_BYTES));
    put(packet, 0, &samples, sizeof samples);
    put(packet, 8, &scale, sizeof scale);
    put(packet, 24, d->profile, PROFILE_BYTES);
    return 0;
}
