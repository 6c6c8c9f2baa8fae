// The printf and scanf subsets of formatted I/O, without a socket.
#include <gtest/gtest.h>

#include <cstring>

#include "Format.h"
#include "Scan.h"
#include "Status.h"

using namespace mivisa;

namespace {

ViStatus format(std::string& out, const char* fmt, ...) {
    Args args;
    va_start(args.ap, fmt);
    const ViStatus s = formatText(fmt, args, out);
    va_end(args.ap);
    return s;
}

ViStatus scan(const std::string& line, const char* fmt, ...) {
    Args args;
    va_start(args.ap, fmt);
    const ViStatus s = checkScanFormat(fmt) == VI_SUCCESS ? scanLine(fmt, line, args) : VI_ERROR_NSUP_OPER;
    va_end(args.ap);
    return s;
}

}  // namespace

TEST(Format, PrintfDirectivesAndWhatIsRefused) {
    std::string out;
    ASSERT_EQ(format(out, "%*d|%-*.*f|%hd|%+i|%lu|%.3s|%c%%", 5, 42, 8, 2, 3.14159, 70000, 7, 4000000000ul,
                     "abcdef", 'z'),
              VI_SUCCESS);
    EXPECT_EQ(out, "   42|3.14    |4464|+7|4000000000|abc|z%");
    out.clear();
    ASSERT_EQ(format(out, "%s", static_cast<const char*>(nullptr)), VI_SUCCESS);
    EXPECT_EQ(out, "");
    for (const char* bad : {"%x", "%p", "%n", "%ls", "%lle", "abc%", "%5"}) {
        out.clear();
        EXPECT_EQ(format(out, bad, 1), VI_ERROR_NSUP_OPER) << bad;
    }
}

TEST(Scan, WidthsBoundWhatIsStoredAndAMismatchStopsTheScan) {
    char text[8], word[4], rest[16];
    std::memset(text, '#', sizeof text);
    int n = 0;
    ASSERT_EQ(scan("0123456789ABCDEF\n", "%5T", text), VI_SUCCESS);
    EXPECT_STREQ(text, "01234");
    EXPECT_EQ(text[6], '#');
    ASSERT_EQ(scan("  abcdefg 12345\n", "%3s%s%3d", word, rest, &n), VI_SUCCESS);
    EXPECT_EQ(std::string(word) + "|" + rest + "|" + std::to_string(n), "abc|defg|123");

    int hex = 0;
    short s = 0;
    unsigned long long big = 0;
    double d = 0;
    // "%*d" takes the "+7" of "+7E2"; "E2" is no number, so the scan stops there and leaves d alone.
    EXPECT_EQ(scan("0x1F;-12 18446744073709551615 +7E2\n", "%i;%hd %llu %*d %lf", &hex, &s, &big, &d),
              kErrorInvFmt);
    EXPECT_EQ(hex, 31);
    EXPECT_EQ(s, -12);
    EXPECT_EQ(big, 18446744073709551615ull);
    EXPECT_EQ(d, 0.0);
    ASSERT_EQ(scan("+1.5E+03,OK\n", "%lf,%2c", &d, word), VI_SUCCESS);
    EXPECT_EQ(d, 1500.0);
    EXPECT_EQ(std::string(word, 2), "OK");
    for (const char* refused : {"%[a-z]", "%p"})
        EXPECT_EQ(scan("x\n", refused, word), VI_ERROR_NSUP_OPER) << refused;
}
