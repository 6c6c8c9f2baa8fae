// The run-time VISA binding against two stand-in libraries: one exporting none of the VISA names, one
// exporting all of them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <trelvan/DynamicVisa.h>
#include "base/VisaConstants.h"

namespace {

bool isLoaded(const char* path) {
    void* h = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

// Every status slot answers `expected`; a stub stores nothing through its pointers.
void expectAllSlots(DynamicVisa& v, ViStatus expected) {
    ViSession s = 99;
    ViUInt32 n = 99;
    ViUInt8 b = 0x5A;
    EXPECT_EQ(v.viOpenDefaultRM(&s), expected);
    EXPECT_EQ(v.viRead(1, nullptr, 0, &n), expected);
    EXPECT_EQ(v.viPrintf(1, const_cast<char*>("*IDN?\n"), "extra", 3), expected);
    EXPECT_EQ(v.viQueryf(1, const_cast<char*>("a"), const_cast<char*>("%T"), nullptr), expected);
    EXPECT_EQ(v.viUsbControlIn(1, 0, 0, 0, 0, 0, nullptr, nullptr), expected);
    v.viPeek8(1, nullptr, &b);
    v.viPoke32(1, nullptr, 0);
    if (expected == VI_ERROR_LIBRARY_NFOUND) {
        EXPECT_EQ(s + n + b, 99u + 99u + 0x5A);
    }
}

TEST(DynamicVisa, ResolvesWhatALibraryExportsAndStubsTheRest) {
    DynamicVisa v(nullptr);
    EXPECT_FALSE(v.Initialized());
    EXPECT_EQ(v.MissingFnCount(), -1);
    expectAllSlots(v, VI_ERROR_LIBRARY_NFOUND);
    EXPECT_EQ(v.Initialize(nullptr), -101);
    EXPECT_EQ(v.Initialize(VISA_NONE_PATH), 78);
    EXPECT_TRUE(v.Initialized());
    EXPECT_EQ(v.MissingFnCount(), 78);
    expectAllSlots(v, VI_ERROR_LIBRARY_NFOUND);

    DynamicVisa all(VISA_ALL_PATH);
    EXPECT_EQ(all.MissingFnCount(), 0);
    expectAllSlots(all, 7);
}

TEST(DynamicVisa, EveryWayOfLettingALibraryGoUnloadsItAndRestoresTheStubs) {
    struct Case {
        const char* name;  // null: Uninitialize
        int result;
    };
    for (const Case& c : {Case{"", -101}, Case{"/nonexistent/libNoSuchVisa.so", -100}, Case{nullptr, 0}}) {
        SCOPED_TRACE(c.name ? c.name : "Uninitialize");
        DynamicVisa v(VISA_ALL_PATH);
        ASSERT_TRUE(isLoaded(VISA_ALL_PATH));
        if (c.name != nullptr)
            EXPECT_EQ(v.Initialize(c.name), c.result);
        else
            v.Uninitialize();
        EXPECT_FALSE(v.Initialized());
        EXPECT_EQ(v.MissingFnCount(), -1);
        EXPECT_FALSE(isLoaded(VISA_ALL_PATH));
        expectAllSlots(v, VI_ERROR_LIBRARY_NFOUND);
    }
}

}  // namespace
