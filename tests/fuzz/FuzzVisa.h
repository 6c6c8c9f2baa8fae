// A hostile instrument behind DynamicVisa's slots for the fuzz targets: viRead serves the fuzz input
// as the instrument's byte stream, viQueryf serves reply lines, everything sent succeeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "visa/DynamicVisa.h"

// Splits a fuzz input into the pieces a target needs, each taken from the front.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : p_(data), left_(size) {}
    uint8_t byte() {
        if (left_ == 0) return 0;
        --left_;
        return *p_++;
    }
    uint16_t u16() {
        const uint16_t low = byte();
        return static_cast<uint16_t>(low | byte() << 8);
    }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t(byte()) << (8 * i);
        return v;
    }
    // Up to the next '\n' (dropped), or the rest.
    std::string line();
    std::string rest();
    bool empty() const { return left_ == 0; }

private:
    const uint8_t* p_;
    size_t left_;
};

struct FuzzVisa {
    // The stream viRead serves. A read gets at most `readCap` bytes (0: no cap), as a slow link
    // delivers them; one the stream cannot fill ends with `whenDry` and what there was.
    std::string stream;
    size_t readCap = 0;
    // What a capped read that leaves bytes waiting answers: a stall (VI_ERROR_TMO) or a short read.
    ViStatus whenCapped = VI_ERROR_TMO;
    bool reportMaxCount = false;
    ViStatus whenDry = VI_ERROR_TMO;
    // Replies to viQueryf in order; once they run out a query times out. "*OPC?" is answered
    // `opcReply` without using one, unless `opcFromReplies` is set.
    std::deque<std::string> replies;
    std::string opcReply = "1\n";
    bool opcFromReplies = false;

    // One control byte sets the link's manners: bit 0 VI_SUCCESS_MAX_CNT on full reads, bit 1 a dry
    // stream is a lost connection instead of a timeout, bits 2-4 the read cap, bit 5 "*OPC?" answers
    // come from the replies too, bit 6 a capped read is a short VI_SUCCESS instead of a stall.
    void configure(uint8_t control);
    // Points the slots of `visa` at this instrument.
    void install(DynamicVisa& visa);

    static FuzzVisa* current;
};

// Drops the library's debug log, which would otherwise flood the fuzzer's output.
void silenceQtLog();
