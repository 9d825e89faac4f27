// Test streams for filters: the trickling reader and the full writer.
#include "trickle.h"

#include "ka/exception.h"

#include <algorithm>

namespace support {

int TrickleStream::read(void *pBuf, int nBytes) {
    bEmpty = !bEmpty;
    if (bEmpty)
        return 0;
    return Ka::MemBuf::read(pBuf, std::min(nBytes, iPiece));
}

int FullStream::write(const void *pBuf, int nBytes) {
    int iRoom = iLimit - getSize();
    if (nBytes > iRoom) {
        if (bThrow)
            throw Ka::FileException(28, "No space left on device");
        nBytes = std::max(iRoom, 0);
    }
    return Ka::MemBuf::write(pBuf, nBytes);
}

} // namespace support
