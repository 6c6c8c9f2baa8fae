// The records a host exchanges with the library by value, and the one the facade lends its backends.
// Their layouts are part of the contract: host and library must be built against these definitions and
// the same C++ and Qt runtime.
#pragma once

#include <trelvan/VisaTypes.h>

#include <QString>
#include <QVector>
#include <cstddef>
#include <cstdint>
#include <string>

class DynamicVisa;

// One instrument: the text that opens it, its model and serial texts, and whether it is in use.
struct DeviceData {
    char address[128] = {};
    std::string model;
    std::string serial;
    bool busy = false;
};

// Acquisition parameters: centre frequency (Hz), complex sample rate (Hz), reference level (dBm).
struct Params {
    double frequency;
    double sampleRate;
    int32_t refLevel;
};

// Which values getParameters and getNumPTS report.
enum suffix : int32_t { MIN = 0, MAX = 1, CUR = 2 };

// One complex sample.
struct IQ_Elem {
    double I;
    double Q;
};

// One error report; code 0 means no error.
struct Error {
    int32_t code = 0;
    QString text;
};

// What the facade lends every backend it constructs: seven pointers at its own members.
struct Init {
    DynamicVisa* visa;
    ViStatus* status;
    ViSession* session;
    ViSession* resourceManager;
    Params* params;
    Error* error;
    DeviceData* device;
};

static_assert(sizeof(Params) == 24, "Params is 24 bytes");
static_assert(offsetof(Params, frequency) == 0 && offsetof(Params, sampleRate) == 8 &&
                  offsetof(Params, refLevel) == 16,
              "Params field offsets");
static_assert(sizeof(IQ_Elem) == 16 && offsetof(IQ_Elem, Q) == 8, "IQ_Elem is two doubles");
static_assert(sizeof(Error) == 16 && offsetof(Error, text) == 8, "Error is {int, QString}");
static_assert(offsetof(DeviceData, address) == 0 && offsetof(DeviceData, model) == 128,
              "DeviceData starts with its 128-byte address");
static_assert(sizeof(suffix) == 4, "suffix is 32-bit");
static_assert(sizeof(Init) == 7 * sizeof(void*), "Init is seven pointers");
