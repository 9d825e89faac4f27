// Ka::RandomBasic: the linear congruential step.
#include "ka/randombasic.h"

namespace Ka {

void RandomBasic::seed(int iSeed) {
    c = uint64_t(int64_t(iSeed));
}

uint32_t RandomBasic::rand() {
    // Unsigned arithmetic wraps modulo 2^64, which is the recurrence itself.
    x = a * x + c;
    return uint32_t(x);
}

} // namespace Ka
