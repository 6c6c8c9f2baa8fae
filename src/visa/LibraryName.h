// The name the library asks the run-time loader for, in this platform's spelling.
#pragma once

extern const char* const kVisaLibraryName;
