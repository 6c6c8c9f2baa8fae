// The 16-byte header that starts every message of the SK binary protocol, in both directions.
#pragma once

#include <trelvan/Export.h>

#include <QtGlobal>
#include <cstddef>
#include <cstdint>

// The record is sent and received as it lies in memory, so the host must be little-endian.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the SK wire header is laid out for a little-endian host");

// Command codes of the header's Command field.
enum SkCommand : uint16_t {
    MI_TEST = 0,
    MI_RESET = 1,
    MI_INIT = 2,
    MI_SET = 3,
    MI_GET = 4,
    MI_GET_LIST = 5,
    MI_RUN = 6,
    MI_EXEC = 7,
};

constexpr uint16_t kSkSignature = 0x55AA;
// Every request we send carries this in Status; replies put the command's status there.
constexpr int16_t kSkRequestStatus = static_cast<int16_t>(0x8000);
constexpr std::size_t kSkHeadSize = 16;

struct CommandHead {
    uint16_t Signature;
    uint16_t Command;
    int16_t Status;
    uint16_t BodyLen;
    // Byte 8: NumParam (values in the body). Byte 9: LenParam (bytes per value) in the high nibble,
    // FracParam (fractional bytes) in the low nibble; 8/15 means an IEEE-754 double.
    uint16_t Flags;
    uint16_t Reserved;
    uint32_t Sequence;
};

static_assert(sizeof(CommandHead) == kSkHeadSize, "CommandHead is 16 bytes on the wire");
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

    int NumParam() const;
    int LenParam() const;
    int FracParam() const;
    void SetFlags(short num, short len, short frac);

    // Checks a received header against the bytes received (header plus body): 0 when acceptable,
    // otherwise MI_SIGNATURE_ERROR, MI_SIZE_ERROR or MI_SMALL_SIZE.
    short Check(unsigned short size) const;
    // Checks that the header describes the values the caller expects; a negative num, len or frac
    // is not checked. 0, MI_PARAMETER_IGNORED (2) or a negative code.
    short Check(short num, short len, short frac, bool checkBody) const;
};

static_assert(sizeof(CHead) == kSkHeadSize, "CHead adds no data to the header");
