// A test value whose copies can be made to fail.
#include "fragile.h"

#include <stdexcept>

namespace support {

int Fragile::iCopiesLeft = -1;

Fragile::Fragile(const Fragile &o) : v(o.v) {
    if (iCopiesLeft == 0)
        throw std::runtime_error("copy failed");
    if (iCopiesLeft > 0)
        --iCopiesLeft;
}

} // namespace support
