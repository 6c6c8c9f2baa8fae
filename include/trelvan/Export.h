// Symbol export for the Trelvan shared library.
#pragma once

#if defined(_WIN32)
#if defined(TRELVAN_BUILDING_LIBRARY)
#define TRELVAN_EXPORT __declspec(dllexport)
#else
#define TRELVAN_EXPORT __declspec(dllimport)
#endif
#else
#define TRELVAN_EXPORT __attribute__((visibility("default")))
#endif
