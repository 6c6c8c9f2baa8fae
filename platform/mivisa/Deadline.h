// The moment a wait must give up, on the steady clock so that long timeouts and clock changes are safe.
#pragma once

#include <chrono>
#include <cstdint>

namespace mivisa {

class Deadline {
public:
    // VI_TMO_INFINITE (0xFFFFFFFF) never passes; 0 has already passed.
    static Deadline afterMs(uint32_t ms);

    bool passed() const;
    // What to hand poll(): -1 for never, otherwise the milliseconds left rounded up and capped,
    // so a caller loops and re-reads the clock rather than overflowing an int.
    int pollMs() const;

private:
    bool infinite_ = false;
    std::chrono::steady_clock::time_point at_{};
};

}  // namespace mivisa
