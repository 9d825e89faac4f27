// Ka::RandomCmwc: seeding from the linear congruential generator, and the step.
#include "ka/randomcmwc.h"

#include "ka/randombasic.h"

namespace Ka {

// An unseeded generator takes its lags from an unseeded RandomBasic: seeding
// with 0 would not do, since that RandomBasic yields nothing but zeros.
RandomCmwc::RandomCmwc() : q(new uint32_t[LAGS]) {
    RandomBasic basic;
    fill(basic);
}

RandomCmwc::~RandomCmwc() {
    delete[] q;
}

void RandomCmwc::seed(int iSeed) {
    RandomBasic basic;
    basic.seed(iSeed);
    fill(basic);
}

void RandomCmwc::fill(RandomBasic &rBasic) {
    i = LAGS - 1;
    for (int j = 0; j < LAGS; ++j)
        q[j] = rBasic.rand();
    c = rBasic.rand();
}

uint32_t RandomCmwc::rand() {
    i = (i + 1) & (LAGS - 1);
    uint64_t t = 18782ULL * q[i] + c;
    c = uint32_t(t >> 32);
    uint32_t x = uint32_t(t) + c;
    if (x < c) {
        ++x;
        ++c;
    }
    q[i] = 0xFFFFFFFEu - x;
    return q[i];
}

} // namespace Ka
