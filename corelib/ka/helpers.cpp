// Free helpers of the core library.
#include "ka/helpers.h"

#include "ka/exception.h"

namespace Ka {

int memcpy(void *pDest, const void *pSource, int iCount) {
    if (iCount <= 0)
        return 0;
    // Deliberately byte by byte and forwards: callers may rely on the order
    // when the regions overlap, which the C library copy leaves undefined.
    unsigned char *pTo = static_cast<unsigned char *>(pDest);
    const unsigned char *pFrom = static_cast<const unsigned char *>(pSource);
    for (int i = 0; i < iCount; ++i)
        pTo[i] = pFrom[i];
    return iCount;
}

int64_t divUp(int64_t a, int64_t b) {
    if (a < 0 || b <= 0)
        throw ExceptionBase("divUp: invalid operands %lld / %lld", static_cast<long long>(a),
                            static_cast<long long>(b));
    return a / b + (a % b != 0 ? 1 : 0);
}

int getDaysInMonth(int iMonth, int iYear) {
    if (iMonth < 0)
        return -1;
    // In 64 bits, so that a huge month cannot push the year past INT_MAX.
    int64_t iFullYear = int64_t(iYear) + iMonth / 12;
    switch (iMonth % 12) {
    case 1:
        if (iFullYear % 400 == 0)
            return 29;
        if (iFullYear % 100 == 0 || iFullYear % 4 != 0)
            return 28;
        return 29;
    case 3:
    case 5:
    case 8:
    case 10:
        return 30;
    default:
        return 31;
    }
}

} // namespace Ka
