// The SK protocol's pure parts: the header read from wire bytes and its checks, fixed-point values both
// ways, and the vocabulary's numbering, name matching and Windows-1251 texts.
#include <gtest/gtest.h>

#include <QTextCodec>
#include <cstring>
#include <vector>

#include "backends/sk/Sk.h"
#include "backends/sk/SkCommandHead.h"
#include "backends/sk/SkVocabulary.h"
#include "support/SkWire.h"

namespace {

using support::sk::Bytes;
using support::sk::message;

CHead fromWire(const Bytes& bytes) {
    CHead h;
    std::memcpy(static_cast<CommandHead*>(&h), bytes.data(), 16);
    return h;
}

TEST(SkHeader, FieldsAndChecksFromWireBytes) {
    CHead h = fromWire(Bytes("\xAA\x55\x06\x00\x00\x80\x22\x01\x05\x42\xEE\xEE\x04\x03\x02\x01", 16));
    EXPECT_EQ(h.NumParam(), 5);
    EXPECT_EQ(h.LenParam(), 4);
    EXPECT_EQ(h.FracParam(), 2);

    // {command, BodyLen, bytes received, result}; the first failure in rule order wins.
    const int sizeCases[][4] = {{MI_SET, 3, 19, -32755}, {MI_GET, 1, 100, -32755}, {MI_RUN, 2, 17, -32755},
                                {MI_SET, 2, 18, -32763}, {MI_SET, 4, 20, 0},       {MI_GET, 0, 16, -32763},
                                {MI_GET, 2, 18, 0},      {MI_RUN, 0, 16, 0}};
    for (const auto& c : sizeCases) {
        CHead h2 = fromWire(message(unsigned(c[0]), 0, 0, 0, ""));
        h2.BodyLen = uint16_t(c[1]);
        EXPECT_EQ(h2.Check(uint16_t(c[2])), c[3]) << c[0] << " " << c[1];
    }
    EXPECT_EQ(fromWire(message(MI_SET, 0, 0, 0, "", 0, 0xAA55)).Check(0), -32754);  // bytes 55 AA

    // {num, len, frac, checkBody} asked of a header carrying 5 values of 4 bytes, 2 fractional, in 22.
    CHead v = fromWire(message(MI_GET, 0, 5, 0x42, Bytes(22, '\0')));
    const int valueCases[][5] = {{-1, -1, -1, 0, 0},   {3, 4, 2, 1, 2},      {5, 4, 2, 1, 0},
                                 {6, 4, 2, 1, -32765}, {3, 2, 2, 1, -32765}, {3, 4, 0, 1, -32765}};
    for (const auto& c : valueCases)
        EXPECT_EQ(v.Check(short(c[0]), short(c[1]), short(c[2]), c[3] != 0), c[4]) << c[0] << c[1] << c[2];
    v.SetFlags(3, 1, 0);  // 3 one-byte values need 2 + 3 rounded up to 6
    v.BodyLen = 4;
    EXPECT_EQ(v.Check(3, 1, 0, true), -32763);

    v.SetFlags(300, 0x18, 0x1F);  // num keeps its low byte, frac its nibble; len's high bits fall off
    EXPECT_EQ(v.Flags, 0x8F2C);
}

TEST(SkValues, FixedPointBothWaysAndRounding) {
    SK sk;
    struct Case {
        double value;
        unsigned len, frac;
        Bytes wire;
        double readBack;  // signed
    };
    const Case cases[] = {
        {-1.5, 4, 2, Bytes("\x00\x80\xFE\xFF", 4), -1.5},
        {2.5, 2, 0, Bytes("\x03\x00", 2), 3},
        {-2.5, 2, 0, Bytes("\xFD\xFF", 2), -3},
        {2e9, 6, 0, Bytes("\x00\x94\x35\x77\x00\x00", 6), 2e9},
        {-1, 6, 0, Bytes(6, '\xFF'), -1},
        {1.0 / 131072, 4, 2, Bytes("\x01\x00\x00\x00", 4), 1.0 / 65536},  // half a step rounds away
        {-0.4, 4, 0, Bytes(4, '\0'), 0},
        {65537, 2, 0, Bytes("\x01\x00", 2), 1},  // beyond the width: the low bytes
        {1.0, 8, 15, Bytes("\0\0\0\0\0\0\xF0\x3F", 8), 1.0},
    };
    for (const Case& c : cases) {
        Bytes out(3 + c.wire.size(), '\xCC');
        sk.WriteComplexValue(c.value, reinterpret_cast<unsigned char*>(&out[0]), 3, 0, c.len, c.frac);
        EXPECT_EQ(out, Bytes(3, '\xCC') + c.wire) << c.value;
        const auto* p = reinterpret_cast<const unsigned char*>(out.data());
        EXPECT_EQ(sk.ReadComplexValue(p, 3, 0, true, c.len, c.frac), c.readBack) << c.value;
    }
    // Plain integers may be read unsigned; a value with fractional bytes is signed regardless.
    const auto* ones = reinterpret_cast<const unsigned char*>("\xFF\xFF\xFF\xFF");
    EXPECT_EQ(sk.ReadComplexValue(ones, 0, 0, false, 2, 0), 65535);
    EXPECT_EQ(sk.ReadComplexValue(ones, 0, 0, false, 4, 2), -1.0 / 65536);
}

QString cp1251(const char* bytes) {
    return QTextCodec::codecForName("windows-1251")->toUnicode(QByteArray(bytes));
}

TEST(SkVocabulary, NumberingNamesTextsAndNumbers) {
    // The anchors restart the running number; entries after them count on.
    const std::pair<int, int> errorIds[] = {{24, 24},     {25, 20486},   {26, 20487}, {37, -32768},
                                            {91, -32495}, {111, -32475}, {-1, -1},    {112, -1}};
    for (auto [index, id] : errorIds) EXPECT_EQ(GetErrorIDByIndex(index), id) << index;
    const std::pair<int, int> parameterIds[] = {{40, 40},   {41, 50},   {133, 142},
                                                {134, 200}, {144, 210}, {145, -1}};
    for (auto [index, id] : parameterIds) EXPECT_EQ(GetParameterIDByIndex(index), id) << index;

    // Names, their shortened forms and numbers; a text going on past a name matches nothing.
    const std::pair<const char*, int> commandIds[] = {{"MI_RUN", 6}, {"_RUN", 6}, {"RUN", 6}, {"mi_run", -1},
                                                      {"", -1},      {"UN", -1},  {"99", 99}};
    for (auto [text, id] : commandIds) EXPECT_EQ(GetCommandID(text), id) << text;
    const std::pair<const char*, int> parameterNames[] = {
        {"SAMPLE_RATE", 101}, {"0x65", 101}, {"-5", -1}, {"IF", 115}, {"P_CLK ", -1}, {"P_CLK = 50", -1}};
    for (auto [text, id] : parameterNames) EXPECT_EQ(GetParameterID(text), id) << text;
    EXPECT_EQ(GetEnumID(ErrorNames, 112, "NO_DATA"), 20509);
    EXPECT_EQ(GetEnumID(ErrorNames, 112, "API_ERROR2"), -32499);  // the earlier of two matching entries

    EXPECT_STREQ(GetParameterName(50), "P_CLK = 50");
    EXPECT_EQ(GetParameterName(45), nullptr);
    EXPECT_STREQ(GetErrorName(12345), "NO_ERROR");
    EXPECT_EQ(GetCommandName(8), nullptr);
    EXPECT_EQ(cp1251(GetParameterDescription(45)), QString::fromUtf8("Неизвестный параметр"));
    EXPECT_EQ(cp1251(GetErrorString(12345)), QString::fromUtf8("Неизвестная ошибка"));
    EXPECT_STREQ(GetParameterDescription(50), "");

    // The tables' texts are Windows-1251 too.
    EXPECT_EQ(cp1251(GetErrorString(0)), QString::fromUtf8("Команда успешно выполнена"));

    // The one number reader behind all of it, on odd texts.
    const char* texts[] = {"0x1F",    "0x1f",     "0X1F",       "0xffffffff", "abc-12x", "a-b5",      "--5",
                           "= 20486", "= -32768", "4294967297", "a0x10",      "-0x10",   "no number", ""};
    const int values[] = {31, 31, 0, -1, -12, 0, 0, 20486, -32768, 1, 16, 0, 0, 0};
    for (std::size_t i = 0; i < std::size(texts); ++i) EXPECT_EQ(str2int(texts[i]), values[i]) << texts[i];
}

}  // namespace
