#include <gtest/gtest.h>

#include <cstring>

#include "backends/sk/CommandHead.h"

namespace {

// A header as it arrives: built from wire bytes, not from the struct, so the layout is checked too.
CHead fromWire(std::initializer_list<unsigned char> bytes) {
    unsigned char raw[16] = {};
    std::size_t i = 0;
    for (unsigned char b : bytes) raw[i++] = b;
    CHead h;
    std::memcpy(static_cast<CommandHead*>(&h), raw, sizeof raw);
    return h;
}

CHead head(uint16_t command, uint16_t bodyLen) {
    CHead h;
    h.Command = command;
    h.BodyLen = bodyLen;
    return h;
}

TEST(CHead, WireLayoutIsLittleEndianFieldByField) {
    CHead h = fromWire(
        {0xAA, 0x55, 0x06, 0x00, 0x00, 0x80, 0x22, 0x01, 0x05, 0x42, 0xEE, 0xEE, 0x04, 0x03, 0x02, 0x01});
    EXPECT_EQ(h.Signature, 0x55AA);
    EXPECT_EQ(h.Command, MI_RUN);
    EXPECT_EQ(h.Status, -32768);
    EXPECT_EQ(h.BodyLen, 0x0122);
    EXPECT_EQ(h.NumParam(), 5);
    EXPECT_EQ(h.LenParam(), 4);
    EXPECT_EQ(h.FracParam(), 2);
    EXPECT_EQ(h.Sequence, 0x01020304u);
}

TEST(CHead, ConstructedHeaderIsEmptyAndSigned) {
    CHead h;
    EXPECT_EQ(h.Signature, 0x55AA);
    EXPECT_EQ(h.Status, 0);
    EXPECT_EQ(h.BodyLen, 0);
    EXPECT_EQ(h.Flags, 0);
}

TEST(CHead, AssignmentCopiesAllButTheReservedWord) {
    CHead src = fromWire({0x11, 0x22, 3, 0, 7, 0, 8, 0, 9, 0x31, 0xBB, 0xCC, 1, 2, 3, 4});
    CHead dst;
    dst.Reserved = 0x1234;
    dst = src;
    EXPECT_EQ(dst.Signature, 0x2211);
    EXPECT_EQ(dst.Command, 3);
    EXPECT_EQ(dst.Status, 7);
    EXPECT_EQ(dst.BodyLen, 8);
    EXPECT_EQ(dst.Flags, 0x3109);
    EXPECT_EQ(dst.Sequence, 0x04030201u);
    EXPECT_EQ(dst.Reserved, 0x1234);
}

TEST(CHead, SetFlagsPacksNumFracLen) {
    CHead h;
    h.SetFlags(3, 4, 2);
    EXPECT_EQ(h.Flags, 0x4203);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&h);
    EXPECT_EQ(bytes[8], 0x03);
    EXPECT_EQ(bytes[9], 0x42);
    h.SetFlags(300, 4, 2);  // num keeps its low byte only
    EXPECT_EQ(h.NumParam(), 44);
    h.SetFlags(1, 0x18, 0x1F);  // frac is masked to its nibble; len's high bits fall off the word
    EXPECT_EQ(h.LenParam(), 8);
    EXPECT_EQ(h.FracParam(), 15);
    EXPECT_EQ(h.NumParam(), 1);
}

TEST(CHead, SizeCheckRulesInOrder) {
    // The signature is checked before anything else, including a too-short size.
    EXPECT_EQ(fromWire({0x55, 0xAA}).Check(16), -32754);
    CHead badSig = head(MI_SET, 3);
    badSig.Signature = 0x1234;
    EXPECT_EQ(badSig.Check(0), -32754);

    // An odd or over-long body is a size error even for commands with their own minimum.
    EXPECT_EQ(head(MI_SET, 3).Check(19), -32755);
    EXPECT_EQ(head(MI_GET, 1).Check(100), -32755);
    EXPECT_EQ(head(MI_SET, 4).Check(19), -32755);
    EXPECT_EQ(head(MI_RUN, 2).Check(17), -32755);

    EXPECT_EQ(head(MI_SET, 2).Check(18), -32763);
    EXPECT_EQ(head(MI_SET, 0).Check(16), -32763);
    EXPECT_EQ(head(MI_SET, 4).Check(20), 0);
    EXPECT_EQ(head(MI_GET, 0).Check(16), -32763);
    EXPECT_EQ(head(MI_GET, 2).Check(18), 0);
    EXPECT_EQ(head(MI_RUN, 0).Check(16), 0);
    EXPECT_EQ(head(MI_RESET, 0).Check(65535), 0);
}

TEST(CHead, ValueCheckRulesInOrder) {
    CHead h;
    h.SetFlags(5, 4, 2);
    h.BodyLen = 22;
    EXPECT_EQ(h.Check(-1, -1, -1, false), 0);
    EXPECT_EQ(h.Check(3, 4, 2, true), 2);
    EXPECT_EQ(h.Check(5, 4, 2, true), 0);
    EXPECT_EQ(h.Check(6, 4, 2, true), -32765);
    // A wrong width or fraction wins over a short body.
    h.BodyLen = 20;
    EXPECT_EQ(h.Check(3, 4, 2, true), -32763);
    EXPECT_EQ(h.Check(3, 4, 2, false), 2);
    EXPECT_EQ(h.Check(3, 2, 2, true), -32765);
    EXPECT_EQ(h.Check(3, 4, 0, true), -32765);
    EXPECT_EQ(h.Check(-1, -1, -1, true), -32763);
    h.SetFlags(2, 4, 2);
    EXPECT_EQ(h.Check(3, 4, 2, true), -32765);
    // Odd value bytes round the required body up to an even size.
    h.SetFlags(3, 1, 0);
    h.BodyLen = 4;
    EXPECT_EQ(h.Check(3, 1, 0, true), -32763);
    h.BodyLen = 6;
    EXPECT_EQ(h.Check(3, 1, 0, true), 0);

    CHead any;  // no values expected, whatever the header says
    any.BodyLen = 0;
    any.Signature = 0;
    EXPECT_EQ(any.Check(-1, -1, -1, false), 0);
}

}  // namespace
