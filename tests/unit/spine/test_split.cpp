#include <gtest/gtest.h>

#include "util/Split.h"

namespace {

using Fields = std::vector<std::string>;

TEST(Split, EmptyFieldsAreKeptWhereverDelimitersMeet) {
    EXPECT_EQ(split("a,b,,c,", ","), (Fields{"a", "b", "", "c", ""}));
    EXPECT_EQ(split(",a", ","), (Fields{"", "a"}));
    EXPECT_EQ(split(",", ","), (Fields{"", ""}));
    EXPECT_EQ(split("", ","), (Fields{""}));
    EXPECT_EQ(split("no delimiter", ","), (Fields{"no delimiter"}));
}

TEST(Split, MultiCharacterDelimiterMatchesWholeAndResumesBehindTheMatch) {
    EXPECT_EQ(split("aaa", "aa"), (Fields{"", "a"}));
    EXPECT_EQ(split("x::y", "::"), (Fields{"x", "y"}));
    EXPECT_EQ(split("x::y", ":"), (Fields{"x", "", "y"}));
    EXPECT_EQ(split("TCPIP0::127.0.0.5::5025::SOCKET", "::")[1], "127.0.0.5");
}

TEST(Split, ErrorQueueReplyKeepsItsQuotes) {
    EXPECT_EQ(split("-222,\"Data out of range\"\n", ","), (Fields{"-222", "\"Data out of range\"\n"}));
}

TEST(Split, EmptyDelimiterReturnsTheTextWhole) { EXPECT_EQ(split("abc", ""), (Fields{"abc"})); }

TEST(QSplit, DecodesEachFieldFromUtf8) {
    const std::vector<QString> f = QSplit("К4-Э1;Ошибка;;x", ";");
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0], QString::fromUtf8("К4-Э1"));
    EXPECT_EQ(f[0].size(), 5);
    EXPECT_EQ(f[1], QString::fromUtf8("Ошибка"));
    EXPECT_TRUE(f[2].isEmpty());
    EXPECT_EQ(f[3], QStringLiteral("x"));
}

TEST(QSplit, MatchesBytesEvenInsideMultiByteCharacters) {
    // "Э" is D0 AD in UTF-8; splitting at the lone byte D0 cuts it, and the halves decode as replacement
    // characters rather than crashing or vanishing.
    const std::vector<QString> f = QSplit("aЭb", "\xD0");
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0], QStringLiteral("a"));
    EXPECT_EQ(f[1].size(), 2);
}

}  // namespace
