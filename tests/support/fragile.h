// A test value whose copies can be made to fail, for exception-safety tests.
#pragma once

namespace support {

// Its copy constructor throws std::runtime_error once iCopiesLeft copies
// have been made (never while iCopiesLeft is negative). Tests that set the
// budget reset it to -1 before they end.
struct Fragile {
    static int iCopiesLeft;
    int v = 0;
    explicit Fragile(int v) : v(v) {}
    Fragile(const Fragile &o);
    Fragile &operator=(const Fragile &) = default;
};

} // namespace support
