// The three vocabularies of the SK protocol (commands, parameters, status codes) as tables of names
// with Russian texts, and the lookups between numbers, names and texts. The Russian texts are
// Windows-1251 byte strings, as the instrument family's own software hands them out.
//
// A table entry's number is implicit: it follows the entry before it, unless the entry carries its
// own after an equals sign ("SE_READ_TIMEOUT = 20486").
#pragma once

#include <trelvan/Export.h>

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

// Reads an integer out of a text: decimal, or hexadecimal after "0x"; a "-" directly before the
// digits makes it negative; leading non-digits are skipped. 32-bit, wrapping; 0 when there is none.
TRELVAN_EXPORT int str2int(const char* text);

// Generic lookups over a name table (and a parallel table of values) with count entries.
TRELVAN_EXPORT int GetEnumIndexByID(const char* const* names, int count, int id);
TRELVAN_EXPORT const char* GetEnumName(const char* const* names, int count, int id);
TRELVAN_EXPORT const char* GetEnumValue(const char* const* names, const char* const* values, int count,
                                        int id);
// A text starting with a digit is a number; otherwise the name, or the name less its first two or
// three characters, in table order. -1 when nothing matches.
TRELVAN_EXPORT int GetEnumID(const char* const* names, int count, const char* text);
// The number of the entry at index; -1 for a negative index, and for an index past the end of one
// of the library's own tables.
TRELVAN_EXPORT int GetEnumID(const char* const* names, int index);

TRELVAN_EXPORT const char* GetCommandName(int id);
TRELVAN_EXPORT int GetCommandID(const char* text);
TRELVAN_EXPORT const char* GetParameterName(int id);
TRELVAN_EXPORT const char* GetParameterDescription(int id);
TRELVAN_EXPORT int GetParameterID(const char* text);
TRELVAN_EXPORT int GetParametersCount();
TRELVAN_EXPORT int GetParameterIDByIndex(int index);
TRELVAN_EXPORT const char* GetErrorName(int id);
TRELVAN_EXPORT const char* GetErrorString(int id);
TRELVAN_EXPORT int GetErrorsCount();
TRELVAN_EXPORT int GetErrorIDByIndex(int index);
