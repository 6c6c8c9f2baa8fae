#include <dlfcn.h>
#include <gtest/gtest.h>

#include "visa/DynamicVisa.h"

namespace {

bool isLoaded(const char* path) {
    void* h = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (h) dlclose(h);
    return h != nullptr;
}

// Every status slot answers `expected`; the peek slots write nothing.
void expectAllSlots(DynamicVisa& v, ViStatus expected) {
    ViSession s = 99;
    ViUInt32 n = 99;
    ViUInt8 b = 0x5A;
    EXPECT_EQ(v.viOpenDefaultRM(&s), expected);
    EXPECT_EQ(v.viRead(1, nullptr, 0, &n), expected);
    EXPECT_EQ(v.viPrintf(1, const_cast<char*>("*IDN?\n"), "extra", 3), expected);
    EXPECT_EQ(v.viQueryf(1, const_cast<char*>("a"), const_cast<char*>("%T"), nullptr), expected);
    EXPECT_EQ(v.viUsbControlIn(1, 0, 0, 0, 0, 0, nullptr, nullptr), expected);
    EXPECT_EQ(s, 99u);
    EXPECT_EQ(n, 99u);
    v.viPeek8(1, nullptr, &b);
    v.viPoke32(1, nullptr, 0);
    if (expected == VI_ERROR_LIBRARY_NFOUND) {
        EXPECT_EQ(b, 0x5A);
    }
}

TEST(DynamicVisa, NullNameLoadsNothingAndEverySlotIsAStub) {
    DynamicVisa v(nullptr);
    EXPECT_FALSE(v.Initialized());
    EXPECT_EQ(v.MissingFnCount(), -1);
    EXPECT_EQ(v.library, nullptr);
    EXPECT_EQ(VI_ERROR_LIBRARY_NFOUND, -1073807202);
    expectAllSlots(v, VI_ERROR_LIBRARY_NFOUND);
    EXPECT_EQ(v.Initialize(nullptr), -101);
}

TEST(DynamicVisa, LibraryWithoutVisaNamesCountsAll78Missing) {
    DynamicVisa v(nullptr);
    EXPECT_EQ(v.Initialize(VISA_NONE_PATH), 78);
    EXPECT_TRUE(v.Initialized());
    EXPECT_EQ(v.MissingFnCount(), 78);
    expectAllSlots(v, VI_ERROR_LIBRARY_NFOUND);
}

TEST(DynamicVisa, CompleteLibraryResolvesEverySlot) {
    DynamicVisa v(VISA_ALL_PATH);
    EXPECT_EQ(v.MissingFnCount(), 0);
    EXPECT_TRUE(v.Initialized());
    expectAllSlots(v, 7);
}

TEST(DynamicVisa, EmptyNameAfterLoadDropsTheLibrary) {
    DynamicVisa v(VISA_ALL_PATH);
    ASSERT_EQ(v.MissingFnCount(), 0);
    EXPECT_EQ(v.Initialize(""), -101);
    EXPECT_FALSE(v.Initialized());
    EXPECT_EQ(v.library, nullptr);
    expectAllSlots(v, VI_ERROR_LIBRARY_NFOUND);
}

TEST(DynamicVisa, UnloadableNameAfterLoadUnloadsThePreviousLibrary) {
    DynamicVisa v(nullptr);
    ASSERT_EQ(v.Initialize(VISA_ALL_PATH), 0);
    ASSERT_TRUE(isLoaded(VISA_ALL_PATH));
    EXPECT_EQ(v.Initialize("/nonexistent/libNoSuchVisa.so"), -100);
    EXPECT_FALSE(v.Initialized());
    EXPECT_EQ(v.MissingFnCount(), -1);
    EXPECT_FALSE(isLoaded(VISA_ALL_PATH));
    expectAllSlots(v, VI_ERROR_LIBRARY_NFOUND);
}

TEST(DynamicVisa, UninitializeRestoresStubs) {
    DynamicVisa v(VISA_ALL_PATH);
    v.Uninitialize();
    EXPECT_EQ(v.MissingFnCount(), -1);
    EXPECT_FALSE(isLoaded(VISA_ALL_PATH));
    expectAllSlots(v, VI_ERROR_LIBRARY_NFOUND);
}

}  // namespace
