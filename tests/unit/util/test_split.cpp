// The exported splitters: fields where delimiters meet, whole-match delimiters, and UTF-8 decoding.
#include <gtest/gtest.h>

#include <trelvan/Split.h>

namespace {

using Fields = std::vector<std::string>;

TEST(Split, KeepsEmptyFieldsAndMatchesAWholeDelimiterFromTheLeft) {
    const std::pair<std::pair<const char*, const char*>, Fields> cases[] = {
        {{"a,b,,c,", ","}, {"a", "b", "", "c", ""}},
        {{",", ","}, {"", ""}},
        {{"", ","}, {""}},
        {{"aaa", "aa"}, {"", "a"}},
        {{"x::y", ":"}, {"x", "", "y"}},
        {{"-222,\"Data out of range\"\n", ","}, {"-222", "\"Data out of range\"\n"}},
        {{"abc", ""}, {"abc"}},
    };
    for (const auto& [input, fields] : cases)
        EXPECT_EQ(split(input.first, input.second), fields) << input.first;
}

TEST(QSplit, DecodesEachFieldFromUtf8EvenWhenTheDelimiterCutsACharacter) {
    const std::vector<QString> f = QSplit("К4-Э1;Ошибка;;x", ";");
    ASSERT_EQ(f.size(), 4u);
    EXPECT_EQ(f[0], QString::fromUtf8("К4-Э1"));
    EXPECT_TRUE(f[2].isEmpty());
    // "Э" is D0 AD: split at the lone D0, the halves decode as replacement characters.
    const std::vector<QString> cut = QSplit("aЭb", "\xD0");
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[1].size(), 2);
}

}  // namespace
