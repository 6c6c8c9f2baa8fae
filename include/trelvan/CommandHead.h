// The 16-byte header that starts every message of the SK binary protocol, in both directions, and CHead,
// the same header with the operations that build and check it, for hosts that speak the protocol.
#pragma once

#include <trelvan/Export.h>

#include <cstddef>
#include <cstdint>

// Sent and received as it lies in memory: multi-byte fields are little-endian on the wire.
struct CommandHead {
    uint16_t Signature;  // 0x55AA
    uint16_t Command;
    int16_t Status;  // 0x8000 in a request; the command's status code in a reply
    uint16_t BodyLen;
    // Byte 8: NumParam (values in the body). Byte 9: LenParam (bytes per value) in the high nibble,
    // FracParam (fractional bytes) in the low nibble; 8/15 means an IEEE-754 double.
    uint16_t Flags;
    uint16_t Reserved;
    uint32_t Sequence;
};

static_assert(sizeof(CommandHead) == 16, "CommandHead is 16 bytes on the wire");
static_assert(offsetof(CommandHead, Status) == 4 && offsetof(CommandHead, BodyLen) == 6 &&
                  offsetof(CommandHead, Flags) == 8 && offsetof(CommandHead, Sequence) == 12,
              "CommandHead field offsets");

// A CommandHead with the operations that build and check it; nothing but the header itself.
class TRELVAN_EXPORT CHead : public CommandHead {
public:
    CHead();
    CHead(const CHead& other) = default;
    // Copies everything but the reserved word.
    CHead& operator=(const CHead& other);

    int NumParam();
    int LenParam();
    int FracParam();
    void SetFlags(short num, short len, short frac);

    // Checks a received header against the bytes received (header plus body): 0 when acceptable,
    // otherwise MI_SIGNATURE_ERROR, MI_SIZE_ERROR or MI_SMALL_SIZE (see GetErrorName).
    short Check(unsigned short size);
    // Checks that the header describes the values the caller expects; a negative num, len or frac
    // is not checked. 0, MI_PARAMETER_IGNORED (2) or a negative code.
    short Check(short num, short len, short frac, bool checkBody);
};

static_assert(sizeof(CHead) == 16, "CHead adds no data to the header");
