// Fuzz target: Ka::Formatter reading values of every kind from arbitrary
// bytes, then writing what it read and arbitrary floating bit patterns.
// Integers written in radix 2 to 10 must read back as themselves, and
// decimal floating output must parse back to the value within its nine
// significant digits.
#include "ka/formatter.h"
#include "ka/membuf.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

template <typename T>
void roundTrip(T value, int iRadix) {
    Ka::MemBuf mb;
    Ka::Formatter f(mb);
    f << Ka::FormatSpec().radix(iRadix) << value;
    mb.setPos(0);
    T back = value == 0 ? T(1) : T(0);
    f << Ka::FormatSpec().radix(iRadix) >> back;
    if (iRadix >= 2 && iRadix <= 10 && back != value)
        std::abort();
}

void checkFloating(double d) {
    Ka::MemBuf mb;
    Ka::Formatter f(mb);
    f << d;
    const Ka::String &s = mb.getString();
    if (!std::isfinite(d) || d == 0 || std::fabs(d) < 1e-300)
        return;
    double back = std::strtod(s.getConstStr(), nullptr);
    if (!(std::fabs(back - d) <= std::fabs(d) * 1e-8))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
    // The first byte picks the radix (low 6 bits) and whether reading goes
    // by tokens; the second the order of the kinds read.
    uint8_t iControl = nSize > 0 ? pData[0] : 0;
    uint8_t iOrder = nSize > 1 ? pData[1] : 0;
    size_t nSkip = nSize > 2 ? 2 : nSize;
    const int iRadix = iControl & 63;
    Ka::MemBuf mbIn(Ka::String(reinterpret_cast<const char *>(pData) + nSkip, int(nSize - nSkip)));
    Ka::Formatter f(mbIn);
    for (int iStep = 0; !mbIn.isEos() && iStep < 64; ++iStep) {
        Ka::FormatSpec fs;
        fs.radix(iRadix).tokenize(!(iControl & 64));
        f << fs;
        switch ((iOrder + iStep) % 9) {
        case 0: {
            int i = 0;
            f >> i;
            roundTrip(i, iRadix);
            break;
        }
        case 1: {
            long long i = 0;
            f >> i;
            roundTrip(i, iRadix);
            break;
        }
        case 2: {
            unsigned short i = 0;
            f >> i;
            roundTrip(i, iRadix);
            break;
        }
        case 3: {
            unsigned long long i = 0;
            f >> i;
            roundTrip(i, iRadix);
            break;
        }
        case 4: {
            double d = 0;
            f >> d;
            checkFloating(d);
            break;
        }
        case 5: {
            float x = 0;
            f >> x;
            checkFloating(x);
            break;
        }
        case 6: {
            bool b = false;
            f >> b;
            break;
        }
        case 7: {
            Ka::String s;
            f >> s;
            break;
        }
        default: {
            char c = 0;
            f >> c;
            break;
        }
        }
    }

    // The input's first bytes as floating values of every width, in the
    // radix (a few only: one long double may take 16 KiB of text).
    Ka::MemBuf mbOut;
    Ka::Formatter out(mbOut);
    for (size_t i = 0; i + sizeof(long double) <= nSize && i < 8 * sizeof(long double);
         i += sizeof(long double)) {
        long double l;
        double d;
        float x;
        std::memcpy(&l, pData + i, sizeof l);
        std::memcpy(&d, pData + i, sizeof d);
        std::memcpy(&x, pData + i, sizeof x);
        out << Ka::FormatSpec().radix(iRadix).width(iOrder) << l << ' ' << d << ' ' << x;
        checkFloating(d);
    }
    return 0;
}
