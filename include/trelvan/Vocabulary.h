// Lookups between the numbers, names and texts of the SK protocol's three vocabularies (commands,
// parameters, status codes). The Russian texts are Windows-1251 byte strings.
//
// A name table is an array of entry texts; an entry's number follows the entry before it (the first is
// 0), unless the entry carries its own after an equals sign ("SE_READ_TIMEOUT = 20486").
#pragma once

#include <trelvan/Export.h>

// Reads an integer out of a text: decimal, or hexadecimal after "0x"; a "-" directly before the
// digits makes it negative; leading non-digits are skipped. 32-bit, wrapping; 0 when there is none.
TRELVAN_EXPORT int str2int(const char* text);

// Generic lookups over a name table (and a parallel table of values) with count entries.
// Index of the first entry numbered id; count when there is none.
TRELVAN_EXPORT int GetEnumIndexByID(const char** names, int count, int id);
// The entry text numbered id, or null.
TRELVAN_EXPORT const char* GetEnumName(const char** names, int count, int id);
// The parallel value of the entry numbered id, or null.
TRELVAN_EXPORT const char* GetEnumValue(const char** names, const char** values, int count, int id);
// A text starting with a digit is a number; otherwise the name, or the name less its first two or
// three characters, in table order. -1 when nothing matches.
TRELVAN_EXPORT int GetEnumID(const char** names, int count, const char* text);
// The number of the entry at index; -1 for a negative index, and for an index past the end of one
// of the library's own tables.
TRELVAN_EXPORT int GetEnumID(const char** names, int index);

// The same over tables of constant pointers.
TRELVAN_EXPORT int GetEnumIndexByID(const char* const* names, int count, int id);
TRELVAN_EXPORT const char* GetEnumName(const char* const* names, int count, int id);
TRELVAN_EXPORT const char* GetEnumValue(const char* const* names, const char* const* values, int count,
                                        int id);
TRELVAN_EXPORT int GetEnumID(const char* const* names, int count, const char* text);
TRELVAN_EXPORT int GetEnumID(const char* const* names, int index);

// The library's own tables. A name comes back as the table holds it (with " = n" where it has one).
// Unknown numbers give null names from GetCommandName and GetParameterName, "NO_ERROR" from GetErrorName,
// and the texts "Неизвестный параметр" and "Неизвестная ошибка" from the two text lookups.
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
