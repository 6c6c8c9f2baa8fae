// The tables of the SK protocol's three vocabularies, and the numbers the SK session uses; the lookups
// over them are public.
#pragma once

#include <trelvan/Vocabulary.h>

#include <cstdint>

// Parameter IDs that the SK session sends; the tables hold all of them.
enum SkParameter : uint16_t {
    P_FREQUENCY = 0,
    P_MODE = 3,
    P_CLK = 50,
    P_RRS_FREQUENCY = 56,
    P_IF_FILTER_BANDWIDTH = 66,
    P_VIDEO_FILTER_BANDWIDTH = 69,
    P_RRS_REFERENCE_LEVEL = 88,
    P_SAMPLE_RATE = 101,
    P_RESPONSE_FREQUENCY = 105,
    P_RESPONSE_AMPLITUDE = 106,
    P_PREFILTERS_CALIBRATION = 116,
};

// Status codes the library itself produces or tests. Positive codes up to 20485 are warnings;
// the SE_ codes from 20486 on and every negative code are errors.
enum SkStatusCode : int16_t {
    MI_NO_ERROR = 0,
    MI_PARAMETER_CORRECTED = 1,
    MI_PARAMETER_IGNORED = 2,
    SE_READ_TIMEOUT = 20486,
    MI_CRITICAL_ERROR = -32768,
    MI_PARAMETER_INCORRECT = -32765,
    MI_SMALL_SIZE = -32763,
    MI_SIZE_ERROR = -32755,
    MI_SIGNATURE_ERROR = -32754,
};

constexpr int kSkCommandCount = 8;
constexpr int kSkParameterCount = 145;
constexpr int kSkErrorCount = 112;

extern TRELVAN_EXPORT const char* const CommandNames[kSkCommandCount];
extern TRELVAN_EXPORT const char* const ParameterNames[kSkParameterCount];
extern TRELVAN_EXPORT const char* const ParameterDescriptions[kSkParameterCount];
extern TRELVAN_EXPORT const char* const ErrorNames[kSkErrorCount];
extern TRELVAN_EXPORT const char* const ErrorStrings[kSkErrorCount];
