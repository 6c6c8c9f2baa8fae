#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QString>
#include <QTextCodec>
#include <cstring>

#include "backends/sk/Vocabulary.h"

namespace {

// Decoded with Qt's own code page table, independent of the library's converter.
QString fromCp1251(const char* bytes) {
    return QTextCodec::codecForName("windows-1251")->toUnicode(QByteArray(bytes));
}

QString utf8(const char* text) {
    return QString::fromUtf8(text);
}

TEST(Vocabulary, NumberingFollowsTheAnchors) {
    const std::pair<int, int> errors[] = {
        {0, 0},       {24, 24},     {25, 20486},  {26, 20487},  {27, 20491},   {28, 20493},
        {29, 20496},  {30, 20497},  {31, 20503},  {32, 20505},  {36, 20509},   {37, -32768},
        {73, -32732}, {74, -32512}, {90, -32496}, {91, -32495}, {110, -32476}, {111, -32475}};
    for (auto [index, id] : errors) EXPECT_EQ(GetErrorIDByIndex(index), id) << index;
    const std::pair<int, int> parameters[] = {{0, 0},     {40, 40},   {41, 50},  {101 - 50 + 41, 101},
                                              {133, 142}, {134, 200}, {144, 210}};
    for (auto [index, id] : parameters) EXPECT_EQ(GetParameterIDByIndex(index), id) << index;
    EXPECT_EQ(GetErrorsCount(), 112);
    EXPECT_EQ(GetParametersCount(), 145);
}

TEST(Vocabulary, IndexesOutsideTheTablesGiveMinusOne) {
    for (int index : {-1, -1000, 112, 113, 100000}) EXPECT_EQ(GetErrorIDByIndex(index), -1) << index;
    for (int index : {-1, 145, 146}) EXPECT_EQ(GetParameterIDByIndex(index), -1) << index;
    EXPECT_EQ(GetEnumID(CommandNames, 8), -1);
    EXPECT_EQ(GetEnumID(CommandNames, 7), 7);
    EXPECT_EQ(GetEnumID(ErrorStrings, 112), -1);
}

TEST(Vocabulary, NamesByNumberWithTheirAnchorText) {
    EXPECT_STREQ(GetParameterName(50), "P_CLK = 50");
    EXPECT_STREQ(GetParameterName(101), "P_SAMPLE_RATE");
    EXPECT_STREQ(GetParameterName(210), "P_MAX_NUMBER");
    EXPECT_EQ(GetParameterName(45), nullptr);
    EXPECT_EQ(GetParameterName(143), nullptr);
    EXPECT_STREQ(GetErrorName(20486), "SE_READ_TIMEOUT = 20486");
    EXPECT_STREQ(GetErrorName(-32495), "MI_CTRL_NOT_ENOUGH_MEMORY");
    EXPECT_STREQ(GetErrorName(-32475), "MI_M3M_USER_CHANGES");
    EXPECT_STREQ(GetErrorName(12345), "NO_ERROR");
    EXPECT_STREQ(GetCommandName(6), "MI_RUN");
    EXPECT_EQ(GetCommandName(8), nullptr);
    EXPECT_EQ(GetCommandName(-1), nullptr);
    // Generic forms: index of an absent number is the count; empty tables give 0.
    EXPECT_EQ(GetEnumIndexByID(ErrorNames, 112, 20509), 36);
    EXPECT_EQ(GetEnumIndexByID(ErrorNames, 112, 20488), 112);
    EXPECT_EQ(GetEnumIndexByID(ErrorNames, 0, 0), 0);
    EXPECT_EQ(GetEnumValue(ParameterNames, ParameterDescriptions, 145, 44), nullptr);
}

TEST(Vocabulary, IdsFromNamesShortenedNamesAndNumbers) {
    EXPECT_EQ(GetCommandID("MI_RUN"), 6);
    EXPECT_EQ(GetCommandID("_RUN"), 6);
    EXPECT_EQ(GetCommandID("RUN"), 6);
    EXPECT_EQ(GetCommandID("mi_run"), -1);
    EXPECT_EQ(GetCommandID(""), -1);
    EXPECT_EQ(GetCommandID("UN"), -1);
    EXPECT_EQ(GetCommandID("7"), 7);
    EXPECT_EQ(GetCommandID("99"), 99);
    EXPECT_EQ(GetParameterID("P_SAMPLE_RATE"), 101);
    EXPECT_EQ(GetParameterID("SAMPLE_RATE"), 101);
    EXPECT_EQ(GetParameterID("0x65"), 101);
    EXPECT_EQ(GetParameterID("-5"), -1);
    EXPECT_EQ(GetParameterID("IF"), 115);
    EXPECT_EQ(GetParameterID("CLK"), 50);
    EXPECT_EQ(GetParameterID("M3M_UNITS"), 200);
    EXPECT_EQ(GetErrorIDByIndex(0), GetEnumID(ErrorNames, 112, "NO_ERROR"));
    EXPECT_EQ(GetEnumID(ErrorNames, 112, "SE_NO_DATA"), 20509);
    EXPECT_EQ(GetEnumID(ErrorNames, 112, "NO_DATA"), 20509);
    EXPECT_EQ(GetEnumID(ErrorNames, 112, "CTRL_WRONG_ARGUMENT"), -32485);
    EXPECT_EQ(GetEnumID(ErrorNames, 112, "MIAPI_CRC_ERROR"), -32505);
    // A shortened form that an earlier entry also has resolves to the earlier entry.
    EXPECT_EQ(GetEnumID(ErrorNames, 112, "API_ERROR2"), -32499);
    // Texts that go on past a name match nothing, not even the text the name lookup returns.
    EXPECT_EQ(GetParameterID(GetParameterName(50)), -1);
    EXPECT_EQ(GetParameterID("P_CLK "), -1);
    EXPECT_EQ(GetParameterID("P_CLKX"), -1);
    EXPECT_EQ(GetEnumID(ErrorNames, 0, "MI_NO_ERROR"), -1);
    EXPECT_EQ(GetEnumID(ErrorNames, 112, nullptr), -1);
}

TEST(Vocabulary, ConstantsAgreeWithTheTables) {
    const std::pair<int, const char*> used[] = {
        {P_MODE, "P_MODE"},
        {P_CLK, "P_CLK"},
        {P_RRS_FREQUENCY, "P_RRS_FREQUENCY"},
        {P_IF_FILTER_BANDWIDTH, "P_IF_FILTER_BANDWIDTH"},
        {P_VIDEO_FILTER_BANDWIDTH, "P_VIDEO_FILTER_BANDWIDTH"},
        {P_RRS_REFERENCE_LEVEL, "P_RRS_REFERENCE_LEVEL"},
        {P_SAMPLE_RATE, "P_SAMPLE_RATE"},
        {P_RESPONSE_FREQUENCY, "P_RESPONSE_FREQUENCY"},
        {P_RESPONSE_AMPLITUDE, "P_RESPONSE_AMPLITUDE"},
        {P_PREFILTERS_CALIBRATION, "P_PREFILTERS_CALIBRATION"},
    };
    for (auto [id, name] : used) EXPECT_EQ(GetParameterID(name), id) << name;
    const std::pair<int, const char*> codes[] = {
        {MI_PARAMETER_IGNORED, "MI_PARAMETER_IGNORED"},
        {SE_READ_TIMEOUT, "SE_READ_TIMEOUT"},
        {MI_PARAMETER_INCORRECT, "MI_PARAMETER_INCORRECT"},
        {MI_SMALL_SIZE, "MI_SMALL_SIZE"},
        {MI_SIZE_ERROR, "MI_SIZE_ERROR"},
        {MI_SIGNATURE_ERROR, "MI_SIGNATURE_ERROR"},
    };
    for (auto [id, name] : codes) EXPECT_EQ(GetEnumID(ErrorNames, 112, name), id) << name;
}

TEST(Vocabulary, Str2intOddInputs) {
    EXPECT_EQ(str2int("0x1F"), 31);
    EXPECT_EQ(str2int("0x1f"), 31);
    EXPECT_EQ(str2int("0xffffffff"), -1);
    EXPECT_EQ(str2int("0X1F"), 0);
    EXPECT_EQ(str2int("abc-12x"), -12);
    EXPECT_EQ(str2int("a-b5"), 0);
    EXPECT_EQ(str2int("-x5"), 0);
    EXPECT_EQ(str2int("--5"), 0);
    EXPECT_EQ(str2int("= 20486"), 20486);
    EXPECT_EQ(str2int("= -32768"), -32768);
    EXPECT_EQ(str2int("4294967297"), 1);
    EXPECT_EQ(str2int("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(str2int("a0x10"), 16);
    EXPECT_EQ(str2int("-0x10"), 0);
    EXPECT_EQ(str2int("12abc"), 12);
    EXPECT_EQ(str2int("no number"), 0);
    EXPECT_EQ(str2int("x"), 0);
    EXPECT_EQ(str2int(""), 0);
    EXPECT_EQ(str2int(nullptr), 0);
}

TEST(Vocabulary, RussianTextsAreWindows1251) {
    ASSERT_NE(QTextCodec::codecForName("windows-1251"), nullptr);
    const std::pair<int, const char*> parameters[] = {
        {0, "Диапазон частот"},
        {3, "Режим работы прибора"},
        {40, "Число параметров Р2М"},
        {56, "Диапазон частот настройки/перестройки РПТ"},
        {66, "Полоса фильтра ПЧ"},
        {69, "Полоса пропускания видео фильтра"},
        {88, "Амплитудные параметры"},
        {101, "Параметры оцифровки"},
        {105, "Частоты таблицы ЧХ"},
        {106, "Амплитуды таблицы ЧХ"},
        {116, "Режим калибровки прибора"},
        {142, "Задание ФПЧ шумового приемника"},
        {200, "Единицы измерения М3М"},
        {210, "Число параметров"},
        {45, "Неизвестный параметр"},
    };
    for (auto [id, text] : parameters) EXPECT_EQ(fromCp1251(GetParameterDescription(id)), utf8(text)) << id;
    for (int id : {36, 50, 54}) EXPECT_STREQ(GetParameterDescription(id), "") << id;

    const std::pair<int, const char*> errors[] = {
        {0, "Команда успешно выполнена"},
        {1, "Значение параметра скорректировано"},
        {2, "Часть параметров неизвестна и поэтому проигнорирована"},
        {20486, "Вышло время ожидания ответа от прибора"},
        {20503, "Неизвестная программная ошибка"},
        {20505, "Выполнение операции прервано"},
        {20509, "Данные отсутствуют"},
        {-32768, "Прибор находится в состоянии критической ошибки"},
        {-32765, "Некорректный параметр (значение параметра не поддерживается прибором)"},
        {-32763, "Недостаточный размер команды"},
        {-32755, "Неверный размер команды"},
        {-32754, "Неверная сигнатура - сбой потока команд"},
        {-32512, "Ошибка при выполнении запроса в приборе"},
        {-32496, "Неизвестная ошибка 5"},
        {-32495, "Недостаточно памяти"},
        {-32476, "Неизвестная ошибка 10"},
        {-32475, "Пользователем изменены параметры измерителя"},
        {12345, "Неизвестная ошибка"},
    };
    for (auto [id, text] : errors) EXPECT_EQ(fromCp1251(GetErrorString(id)), utf8(text)) << id;
}

TEST(Vocabulary, EveryTextIsRussianInTheCodePageAndSharedWhereDocumented) {
    // Letters of a text stored as UTF-8 by mistake would decode to symbols outside this set.
    auto plainRussian = [](const QString& s) {
        for (QChar c : s) {
            const ushort u = c.unicode();
            if (u >= 0x80 && !(u >= 0x0410 && u <= 0x044F) && u != 0x0401 && u != 0x0451) return false;
        }
        return true;
    };
    auto check = [&](const char* const* texts, int count, const char* table) {
        int empty = 0;
        for (int i = 0; i < count; ++i) {
            EXPECT_NE(texts[i], nullptr) << table << i;
            if (texts[i] == nullptr || texts[i][0] == '\0') {
                ++empty;
                continue;
            }
            const QString decoded = fromCp1251(texts[i]);
            EXPECT_TRUE(plainRussian(decoded)) << table << i;
            EXPECT_TRUE(decoded.contains(QRegularExpression(QStringLiteral("[\\x{0410}-\\x{044F}]"))))
                << table << i;
        }
        return empty;
    };
    EXPECT_EQ(check(ParameterDescriptions, 145, "parameter "), 3);
    EXPECT_EQ(check(ErrorStrings, 112, "status "), 0);

    EXPECT_STREQ(GetErrorString(-32740), GetErrorString(22));  // MI_EXTREF_NO_PLL and its warning
    EXPECT_STREQ(GetErrorString(-32735), GetErrorString(23));  // MI_EXTREF_NO_POWER and its warning
    for (int k = 0; k < 4; ++k) EXPECT_STREQ(GetErrorString(-32484 + k), GetErrorString(-32499 + k)) << k;
    EXPECT_STRNE(GetErrorString(-32480), GetErrorString(-32479));
}

}  // namespace
