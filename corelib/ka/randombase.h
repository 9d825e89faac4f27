// Ka::RandomBase: the interface of the library's pseudo-random generators.
#pragma once

#include <cmath>
#include <cstdint>

namespace Ka {

// A deterministic pseudo-random generator: the same seed gives the same
// sequence. Not cryptographically strong. Not locked: one generator object
// must not be used from two threads at once (Ka::Random serialises access to
// the process-wide one).
class RandomBase {
public:
    virtual ~RandomBase() = default;

    virtual void seed(int iSeed) = 0;
    // The next 32-bit value of the sequence.
    virtual uint32_t rand() = 0;

    // randRange(0, iMax).
    virtual int randMax(int iMax) { return randRange(0, iMax); }

    // randUnit() * (iMax - iMin) + iMin, rounded down: for iMin < iMax a
    // value in iMin..iMax-1, also when iMin is negative (truncating toward
    // zero would give iMax there). For iMin > iMax a value in iMax..iMin.
    // The span is computed in double, so extreme bounds cannot overflow.
    virtual int randRange(int iMin, int iMax) {
        return int(std::floor(randUnit() * (double(iMax) - double(iMin)) + double(iMin)));
    }

    // A double in [0, 1): the next value with its lowest bit cleared, over
    // 2^32 - 1, so that the largest possible draw stays below 1.
    virtual double randUnit() { return double(rand() & ~uint32_t(1)) / 4294967295.0; }
};

} // namespace Ka
