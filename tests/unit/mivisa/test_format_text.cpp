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

// What the formatted I/O over a socket does not reach: stored widths, the narrow and wide integers, hex.
TEST(Scan, WidthsBoundWhatIsStoredAndIntegersTakeTheirSize) {
    char text[8], word[4], rest[16];
    std::memset(text, '#', sizeof text);
    ASSERT_EQ(scan("0123456789ABCDEF\n", "%5T", text), VI_SUCCESS);
    EXPECT_STREQ(text, "01234");
    EXPECT_EQ(text[6], '#');
    int n = 0, hex = 0;
    short s = 0;
    unsigned long long big = 0;
    ASSERT_EQ(scan("  abcdefg 12345 0x1F;-12 18446744073709551615\n", "%3s%s%3d%*d %i;%hd %llu", word, rest, &n,
                   &hex, &s, &big),
              VI_SUCCESS);
    EXPECT_EQ(std::string(word) + "|" + rest + "|" + std::to_string(n), "abc|defg|123");
    EXPECT_EQ(hex, 31);
    EXPECT_EQ(s, -12);
    EXPECT_EQ(big, 18446744073709551615ull);
}
