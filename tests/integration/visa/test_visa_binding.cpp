// The library's run-time binding finds every VISA function in our library.
#include <gtest/gtest.h>

#include "visa/DynamicVisa.h"

TEST(VisaBinding, LoadsWithNothingMissingAndTheSlotsReachOurLibrary) {
    DynamicVisa visa(nullptr);
    // The name the library asks for on Linux; Qt turns it into libMiVISA64.so.
    ASSERT_EQ(visa.Initialize("MiVISA64"), 0);
    ViSession rm = VI_NULL;
    ASSERT_EQ(visa.viOpenDefaultRM(&rm), VI_SUCCESS);
    EXPECT_NE(rm, VI_NULL);
    ViSession vi = 5;
    EXPECT_EQ(
        visa.viOpen(rm, const_cast<char*>("TCPIP0::127.0.0.1::5025::INSTR"), VI_EXCLUSIVE_LOCK, 5000, &vi),
        VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(visa.viClose(rm), VI_SUCCESS);
    EXPECT_EQ(visa.viClose(rm), VI_ERROR_INV_OBJECT);
}
