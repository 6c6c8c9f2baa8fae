// Reply number parsing and the Windows-1251 code page.
#include <gtest/gtest.h>

#include "base/Cp1251.h"
#include "util/Numbers.h"

namespace {

TEST(LeadingNumbers, ReadLikeStoiAndStodWithoutThrowingAndLeaveTheTargetOnFailure) {
    const std::pair<const char*, int> ints[] = {{"  +1\n", 1},
                                                {"-113,\"Undefined header\"", -113},
                                                {"2147483647", 2147483647},
                                                {"-2147483648", -2147483647 - 1}};
    for (const auto& [text, value] : ints) {
        int v = -7;
        EXPECT_TRUE(trv::util::leadingInt(text, v)) << text;
        EXPECT_EQ(v, value);
    }
    const std::pair<const char*, double> doubles[] = {
        {" 1024\n", 1024}, {"-1.5e-7xyz", -1.5e-7}, {"3.e", 3}, {".5", 0.5}, {"1,5", 1}};
    for (const auto& [text, value] : doubles) {
        double v = 0;
        EXPECT_TRUE(trv::util::leadingDouble(text, v)) << text;
        EXPECT_EQ(v, value);
    }
    for (const char* bad : {"", "   ", "abc", "+", "-x", ".", "e5", "2147483648", "99999999999999999999"}) {
        int i = 5;
        EXPECT_FALSE(trv::util::leadingInt(bad, i)) << bad;
        EXPECT_EQ(i, 5) << bad;
    }
    for (const char* bad : {"", ".", "-", "e5", "1e400", "nan", "inf"}) {
        double d = 9;
        EXPECT_FALSE(trv::util::leadingDouble(bad, d)) << bad;
        EXPECT_EQ(d, 9) << bad;
    }
}

TEST(Cp1251, MapsTheCodePageRoundTripsEveryAssignedByteAndMarksWhatItCannot) {
    using trv::cp1251::fromUtf8;
    using trv::cp1251::toUtf8;
    EXPECT_EQ(fromUtf8("АЯая Ёё №€ К4-Э1"),
              "\xC0\xDF\xE0\xFF \xA8\xB8 \xB9\x88 \xCA"
              "4-\xDD"
              "1");
    const std::string utf8 = "К4-Э1 Ёё №5 «ц»";
    EXPECT_EQ(toUtf8(fromUtf8(utf8)), utf8);
    for (int b = 0x80; b <= 0xFF; ++b) {
        const std::string one(1, static_cast<char>(b));
        if (b != 0x98) {
            EXPECT_EQ(fromUtf8(toUtf8(one)), one) << b;
        }
    }
    EXPECT_EQ(toUtf8("a\x98"
                     "b"),
              "ab");
    // Characters the code page lacks, cut, stray and overlong sequences.
    EXPECT_EQ(fromUtf8("日中x\xD0"), "??x?");
    EXPECT_EQ(fromUtf8("a\xFF"
                       "b\xC0\x80"),
              "a?b?");
}

}  // namespace
