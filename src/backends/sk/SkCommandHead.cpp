#include "backends/sk/SkCommandHead.h"

#include "backends/sk/SkVocabulary.h"

CHead::CHead() {
    Signature = kSkSignature;
    Command = 0;
    Status = 0;
    BodyLen = 0;
    Flags = 0;
    Reserved = 0;
    Sequence = 0;
}

CHead& CHead::operator=(const CHead& other) {
    Signature = other.Signature;
    Command = other.Command;
    Status = other.Status;
    BodyLen = other.BodyLen;
    Flags = other.Flags;
    Sequence = other.Sequence;
    return *this;
}

int CHead::NumParam() {
    return Flags & 0xFF;
}

int CHead::LenParam() {
    return Flags >> 12;
}

int CHead::FracParam() {
    return (Flags >> 8) & 0x0F;
}

void CHead::SetFlags(short num, short len, short frac) {
    // len is deliberately not masked: bits above the nibble fall off the 16-bit word.
    Flags = static_cast<uint16_t>((len << 12) | ((frac << 8) & 0x0F00) | (num & 0xFF));
}

short CHead::Check(unsigned short size) {
    if (Signature != kSkSignature) return MI_SIGNATURE_ERROR;
    if ((BodyLen & 1) != 0 || kSkHeadSize + BodyLen > size) return MI_SIZE_ERROR;
    // A set needs a parameter ID and at least one word; a get at least the ID.
    if (Command == MI_SET) return BodyLen < 3 ? MI_SMALL_SIZE : 0;
    if (BodyLen < 2 && Command == MI_GET) return MI_SMALL_SIZE;
    return 0;
}

short CHead::Check(short num, short len, short frac, bool checkBody) {
    if (len >= 0 && len != LenParam()) return MI_PARAMETER_INCORRECT;
    if (frac >= 0 && frac != FracParam()) return MI_PARAMETER_INCORRECT;
    if (checkBody && BodyLen < ((LenParam() * NumParam() + 3) & 0x1FFE)) return MI_SMALL_SIZE;
    if (num < 0) return 0;
    if (num > NumParam()) return MI_PARAMETER_INCORRECT;
    if (NumParam() > num) return MI_PARAMETER_IGNORED;
    return 0;
}
