// Small free helpers of the core library: byte copy, minimum, rounded-up
// division and the length of a month.
#pragma once

#include <cstdint>

namespace Ka {

// Copies iCount bytes from pSource to pDest one at a time, lowest address
// first, and returns the number copied. Overlapping regions are allowed and
// get exactly that forward order. A count of 0 or below copies nothing and
// returns 0. The caller guarantees that both regions hold iCount bytes.
int memcpy(void *pDest, const void *pSource, int iCount);

// The smaller of a and b; a when they are equal.
template <typename T>
T minOf(T a, T b) {
    return b < a ? b : a;
}

// a / b rounded up, for a >= 0 and b > 0. Throws ExceptionBase for a
// negative a or a b of 0 or below instead of dividing by zero or rounding
// the wrong way.
int64_t divUp(int64_t a, int64_t b);

// Days in a month counted from 0 (January) to 11 of a Gregorian year. A month
// above 11 runs on into the following years (13 of 2011 is February 2012);
// a negative month gives -1.
int getDaysInMonth(int iMonth, int iYear);

} // namespace Ka
