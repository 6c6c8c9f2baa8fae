// Reply number parsing and the Windows-1251 code page.
#include <gtest/gtest.h>

#include "util/Cp1251.h"
#include "util/Numbers.h"

namespace {

using trv::util::leadingDouble;
using trv::util::leadingInt;

TEST(LeadingInt, BehavesLikeStoiWithoutThrowing) {
    int v = -7;
    EXPECT_TRUE(leadingInt("  +1\n", v));
    EXPECT_EQ(v, 1);
    EXPECT_TRUE(leadingInt("-113,\"Undefined header\"", v));
    EXPECT_EQ(v, -113);
    EXPECT_TRUE(leadingInt("2147483647", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(leadingInt("-2147483648", v));
    EXPECT_EQ(v, -2147483647 - 1);
    v = 5;
    for (const char* bad : {"", "   ", "abc", "+", "-x", "2147483648", "99999999999999999999"}) {
        EXPECT_FALSE(leadingInt(bad, v)) << bad;
        EXPECT_EQ(v, 5) << bad;
    }
    EXPECT_FALSE(leadingInt(static_cast<const char*>(nullptr), v));
}

TEST(LeadingDouble, TakesTheLongestNumberInTheCLocale) {
    double v = 0;
    EXPECT_TRUE(leadingDouble(" 1024\n", v));
    EXPECT_EQ(v, 1024.0);
    EXPECT_TRUE(leadingDouble("-1.5e-7xyz", v));
    EXPECT_EQ(v, -1.5e-7);
    EXPECT_TRUE(leadingDouble("3.e", v));
    EXPECT_EQ(v, 3.0);
    EXPECT_TRUE(leadingDouble(".5", v));
    EXPECT_EQ(v, 0.5);
    v = 9;
    for (const char* bad : {"", ".", "-", "e5", "1,5e400", "1e400", "nan", "inf"}) {
        if (std::string(bad) == "1,5e400") continue;  // "1" parses; covered by the next case
        EXPECT_FALSE(leadingDouble(bad, v)) << bad;
    }
    EXPECT_TRUE(leadingDouble("1,5", v));
    EXPECT_EQ(v, 1.0);
}

TEST(Cp1251, RoundTripsCyrillicAndDropsTheUnassignedByte) {
    const std::string utf8 = "К4-Э1 Ёё №5 «ц»";
    const std::string bytes = trv::util::utf8ToCp1251(utf8);
    EXPECT_EQ(bytes.size(), 15u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xCA);
    EXPECT_EQ(static_cast<unsigned char>(bytes[6]), 0xA8);
    EXPECT_EQ(trv::util::cp1251ToUtf8(bytes), utf8);
    EXPECT_EQ(trv::util::cp1251ToUtf8("a\x98" "b"), "ab");
    // Every assigned byte survives the round trip.
    for (int b = 0x80; b <= 0xFF; ++b) {
        if (b == 0x98) continue;
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(trv::util::utf8ToCp1251(trv::util::cp1251ToUtf8(one)), one) << b;
    }
    EXPECT_EQ(trv::util::utf8ToCp1251("日"), "?");
    EXPECT_EQ(trv::util::utf8ToCp1251("\xD0"), "?");
}

}  // namespace
