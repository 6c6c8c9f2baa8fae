// Two ways of doing the same work, timed in turns within one run so that both see the machine in the
// same state. Each keeps its fastest turn: on a machine shared with other work the minimum is what the
// code costs, and the rest is the other work.
#pragma once

#include <algorithm>
#include <chrono>
#include <limits>

namespace bench {

class Paired {
public:
    // One turn of each, the side that goes first alternating from turn to turn. Gives the seconds of
    // the turn of `a`.
    template <class A, class B>
    double turn(A&& a, B&& b) {
        double ta = 0, tb = 0;
        if (aFirst_) {
            ta = timed(a);
            tb = timed(b);
        } else {
            tb = timed(b);
            ta = timed(a);
        }
        aFirst_ = !aFirst_;
        bestA = std::min(bestA, ta);
        bestB = std::min(bestB, tb);
        return ta;
    }
    bool measured() const { return bestA < kNone && bestB < kNone && bestA > 0 && bestB > 0; }

    double bestA = kNone, bestB = kNone;

private:
    static constexpr double kNone = std::numeric_limits<double>::infinity();
    template <class F>
    static double timed(F& f) {
        const auto start = std::chrono::steady_clock::now();
        f();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    bool aFirst_ = true;
};

}  // namespace bench
