// Run-time binding to a VISA library: every function is resolved by name into a public slot,
// and a slot whose function is missing holds a stub that answers with a VISA error.
#pragma once

#include <trelvan/Export.h>
#include <trelvan/VisaFunctions.h>

class QLibrary;

// The stubs, one per slot: noViOpen for viOpen and so on. Those with a status answer
// VI_ERROR_LIBRARY_NFOUND; the peek and poke stubs do nothing.
#define TRELVAN_DECLARE_STUB(R, Name, Args) TRELVAN_EXPORT R noVi##Name Args;
TRELVAN_VISA_FUNCTIONS(TRELVAN_DECLARE_STUB)
#undef TRELVAN_DECLARE_STUB

class TRELVAN_EXPORT DynamicVisa {
public:
    explicit DynamicVisa(const char* libraryName = nullptr);
    ~DynamicVisa();
    DynamicVisa(const DynamicVisa&) = delete;
    DynamicVisa& operator=(const DynamicVisa&) = delete;

    // -101 for a null or empty name, -100 when the library does not load,
    // otherwise the number of functions it did not export.
    int Initialize(const char* libraryName);
    void Uninitialize();
    bool Initialized();
    int MissingFnCount();

    QLibrary* library;
    int loadStatus;

#define TRELVAN_DECLARE_SLOT(R, Name, Args) R(*vi##Name) Args;
    TRELVAN_VISA_FUNCTIONS(TRELVAN_DECLARE_SLOT)
#undef TRELVAN_DECLARE_SLOT

private:
    void resetSlots();
};
