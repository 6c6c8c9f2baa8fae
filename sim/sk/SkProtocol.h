// The SK binary protocol as the emulated instrument reads and writes it: a 16-byte little-endian header,
// then a body. Written on its own, apart from the library's definitions, so that a misreading of the
// protocol in one of them shows up as a disagreement instead of hiding in shared code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim::sk {

constexpr uint16_t kSignature = 0x55AA;
constexpr std::size_t kHeaderSize = 16;
constexpr int kMaxBlockSamples = 8188;  // samples per data reply; keeps a reply under 64 KiB

namespace cmd {
constexpr uint16_t Test = 0;
constexpr uint16_t Reset = 1;
constexpr uint16_t Init = 2;
constexpr uint16_t Set = 3;
constexpr uint16_t Get = 4;
constexpr uint16_t GetList = 5;
constexpr uint16_t Run = 6;
constexpr uint16_t Exec = 7;
}  // namespace cmd

namespace param {
constexpr uint16_t Mode = 3;
constexpr uint16_t Clk = 50;
constexpr uint16_t RrsFrequency = 56;
constexpr uint16_t IfFilterBandwidth = 66;
constexpr uint16_t VideoFilterBandwidth = 69;
constexpr uint16_t RrsReferenceLevel = 88;
constexpr uint16_t SampleRate = 101;
constexpr uint16_t ResponseFrequency = 105;
constexpr uint16_t ResponseAmplitude = 106;
constexpr uint16_t PrefiltersCalibration = 116;
}  // namespace param

namespace status {
constexpr int16_t NoError = 0;
constexpr int16_t ParameterCorrected = 1;
constexpr int16_t ParameterIgnored = 2;
constexpr int16_t ReadTimeout = 20486;
constexpr int16_t CriticalError = -32768;
constexpr int16_t UnknownCommand = -32767;
constexpr int16_t UnknownParameter = -32766;
constexpr int16_t ParameterIncorrect = -32765;
constexpr int16_t NoParameters = -32764;
constexpr int16_t SmallSize = -32763;
constexpr int16_t SizeError = -32755;
constexpr int16_t SignatureError = -32754;
}  // namespace status

// Value formats, as the flags byte carries them: width in bytes in the high nibble, whole fractional
// bytes in the low nibble; width 8 with 15 fractional bytes stands for an IEEE double.
namespace format {
constexpr uint8_t Int16 = 0x20;
constexpr uint8_t Int32 = 0x40;
constexpr uint8_t Fixed32 = 0x42;  // 16 fractional bits
constexpr uint8_t Int48 = 0x60;
constexpr uint8_t Double = 0x8F;
}  // namespace format

struct Header {
    uint16_t signature = kSignature;
    uint16_t command = 0;
    int16_t status = 0;
    uint16_t bodyLen = 0;
    uint8_t numParam = 0;
    uint8_t lenFrac = 0;
    uint16_t reserved = 0;
    uint32_t sequence = 0;

    int valueBytes() const { return lenFrac >> 4; }
};

Header readHeader(const uint8_t* p);
void writeHeader(const Header& h, uint8_t* p);

uint16_t readU16(const uint8_t* p);
void writeU16(uint16_t v, uint8_t* p);

// A format the instrument can read and write: 1 to 8 bytes, no more fractional bytes than bytes.
bool validFormat(uint8_t lenFrac);
// Fixed-point values are signed two's complement; writing rounds half away from zero and saturates.
double decodeValue(const uint8_t* p, uint8_t lenFrac);
void encodeValue(double v, uint8_t lenFrac, uint8_t* p);

}  // namespace sim::sk
