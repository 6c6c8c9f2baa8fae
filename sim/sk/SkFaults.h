// Which faults act on a reply, decided once per reply from the request it answers.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "SkServer.h"

namespace sim::sk {

struct Spoils {
    bool any = false;
    bool badSignature = false;
    bool oddBodyLen = false;
    int oversizedBodyLen = 0;  // 0: none
    int cutShortKeep = -1;     // body bytes sent before closing; -1: none, 0: default (half)
    int wrongParameterId = -1;
    bool emptyData = false;
    bool headerStatus = false;
    int16_t headerStatusValue = 0;
    bool bodyStatus = false;
    int16_t bodyStatusValue = 0;
    bool stop = false;
    bool drip = false;
    int dripMs = 0;
    int delayMs = 0;
};

class FaultTable {
public:
    void add(const Fault& f);
    void clear();
    // Consumes the faults that match a reply to this command and parameter (-1: none).
    Spoils take(uint16_t command, int parameter);

private:
    std::mutex mutex_;
    std::vector<Fault> faults_;
};

// Edits a reply already built at out[start...] as the spoils say (all but the timing and closing ones).
void spoil(std::vector<uint8_t>& out, std::size_t start, const Spoils& s);

}  // namespace sim::sk
