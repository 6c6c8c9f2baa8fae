#include <trelvan/DynamicVisa.h>
#include "visa/LibraryName.h"
#include "base/VisaConstants.h"

#include <QLibrary>
#include <QString>

// Qt resolves a bare name to the platform's file name; Windows keeps the historical file name.
#if defined(_WIN32)
const char* const kVisaLibraryName = "MiVISA64.dll";
#else
const char* const kVisaLibraryName = "MiVISA64";
#endif

namespace {
template <typename R>
R stubResult() {
    return VI_ERROR_LIBRARY_NFOUND;
}
template <>
void stubResult<void>() {}
}  // namespace

#define TRELVAN_DEFINE_STUB(R, Name, Args) \
    R noVi##Name Args {                    \
        return stubResult<R>();            \
    }
TRELVAN_VISA_FUNCTIONS(TRELVAN_DEFINE_STUB)
#undef TRELVAN_DEFINE_STUB

DynamicVisa::DynamicVisa(const char* libraryName) : library(nullptr), loadStatus(-1) {
    resetSlots();
    Initialize(libraryName);
}

DynamicVisa::~DynamicVisa() {
    Uninitialize();
}

int DynamicVisa::Initialize(const char* libraryName) {
    Uninitialize();
    if (libraryName == nullptr || libraryName[0] == '\0') return -101;
    library = new QLibrary(QString::fromLocal8Bit(libraryName));
    if (!library->load()) return -100;
    loadStatus = 0;
#define TRELVAN_RESOLVE_SLOT(R, Name, Args)                \
    if (QFunctionPointer f = library->resolve("vi" #Name)) \
        vi##Name = reinterpret_cast<R(*) Args>(f);         \
    else                                                   \
        ++loadStatus;
    TRELVAN_VISA_FUNCTIONS(TRELVAN_RESOLVE_SLOT)
#undef TRELVAN_RESOLVE_SLOT
    return loadStatus;
}

void DynamicVisa::Uninitialize() {
    if (library != nullptr) {
        library->unload();
        // Deleted at once: the library may be torn down where no event loop will ever run.
        delete library;
        library = nullptr;
    }
    loadStatus = -1;
    resetSlots();
}

bool DynamicVisa::Initialized() {
    return loadStatus >= 0;
}

int DynamicVisa::MissingFnCount() {
    return loadStatus;
}

void DynamicVisa::resetSlots() {
#define TRELVAN_RESET_SLOT(R, Name, Args) vi##Name = &noVi##Name;
    TRELVAN_VISA_FUNCTIONS(TRELVAN_RESET_SLOT)
#undef TRELVAN_RESET_SLOT
}
