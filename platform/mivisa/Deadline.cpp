#include "Deadline.h"

#include "base/VisaConstants.h"

namespace mivisa {

namespace {
constexpr int64_t kMaxPollMs = 60 * 60 * 1000;
}

Deadline Deadline::afterMs(uint32_t ms) {
    Deadline d;
    if (ms == VI_TMO_INFINITE) {
        d.infinite_ = true;
    } else {
        d.at_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<int64_t>(ms));
    }
    return d;
}

bool Deadline::passed() const {
    return !infinite_ && std::chrono::steady_clock::now() >= at_;
}

int Deadline::pollMs() const {
    if (infinite_) return -1;
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(at_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    const int64_t ms = (left.count() + 999) / 1000;
    return static_cast<int>(ms < kMaxPollMs ? ms : kMaxPollMs);
}

}  // namespace mivisa
