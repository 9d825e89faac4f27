// Ka::RandomBasic: a 64-bit linear congruential generator.
#pragma once

#include "ka/randombase.h"

namespace Ka {

// x = a * x + c (mod 2^64); each value is the low 32 bits of the new x.
// Seeding sets the increment c and keeps the state x, so a generator seeded
// twice does not restart its sequence; two fresh generators seeded alike
// produce the same sequence. Not locked.
class RandomBasic : public RandomBase {
public:
    RandomBasic() = default;
    ~RandomBasic() override = default;

    // c = iSeed sign-extended to 64 bits.
    void seed(int iSeed) override;
    uint32_t rand() override;

private:
    uint64_t a = 0x5851F42D4C957F2DULL;
    uint64_t c = 0x14057B7EF767814FULL;
    uint64_t x = 0;
};

} // namespace Ka
