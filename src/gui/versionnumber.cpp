// versionNumber: the version text parsed by hand, capped instead of
// overflowing.
#include "gui/versionnumber.h"

#include <algorithm>
#include <limits>

namespace {

// Far above any real version, far below what first * 10000 can overflow.
constexpr qint64 kNumberCap = 1'000'000'000'000;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A decimal number at p, strtol's way; p moves past it only when there
// were digits.
qint64 readNumber(const char *&p) {
    const char *q = p;
    while (isBlank(*q))
        ++q;
    bool bNegative = false;
    if (*q == '+' || *q == '-')
        bNegative = *q++ == '-';
    if (*q < '0' || *q > '9')
        return 0;
    qint64 iValue = 0;
    for (; *q >= '0' && *q <= '9'; ++q)
        iValue = std::min(iValue * 10 + (*q - '0'), kNumberCap);
    p = q;
    return bNegative ? -iValue : iValue;
}

} // namespace

qint32 versionNumber(const char *sVersion) {
    if (!sVersion)
        return 0;
    const char *p = sVersion;
    const qint64 iFirst = readNumber(p);
    qint64 iSecond = 0;
    qint64 iThird = 0;
    if (*p != '\0') {
        ++p; // the point, whatever character stands there
        iSecond = readNumber(p);
        if (*p == '.') {
            ++p;
            iThird = readNumber(p);
        }
    }
    const qint64 iNumber = iFirst * 10000 + iSecond * 100 + iThird;
    return qint32(std::clamp<qint64>(iNumber, std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}
