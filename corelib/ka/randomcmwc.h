// Ka::RandomCmwc: a complement-multiply-with-carry generator with 4096 lags.
#pragma once

#include "ka/randombase.h"

namespace Ka {

class RandomBasic;

// Multiplier 18782, 4096 lag values, base 2^32 - 1. seed() fills the lags
// from a Ka::RandomBasic seeded with the same value, so equal seeds give
// equal sequences. A new generator takes its lags from an unseeded
// Ka::RandomBasic, so drawing before seeding is well defined (though the same
// in every process). Seed 0 is weak: its lags are all zero. Owns its lag
// array; not copyable; not locked.
class RandomCmwc : public RandomBase {
public:
    RandomCmwc();
    ~RandomCmwc() override;
    RandomCmwc(const RandomCmwc &) = delete;
    RandomCmwc &operator=(const RandomCmwc &) = delete;

    void seed(int iSeed) override;
    uint32_t rand() override;

    static constexpr int LAGS = 4096;

private:
    // Lags from the next LAGS values of rBasic, then the carry from one more.
    void fill(RandomBasic &rBasic);

    uint32_t *q;
    uint32_t c = 362436;
    uint32_t i = LAGS - 1;
};

} // namespace Ka
