// Ka::MemBuf: reading, writing and positioning over a Ka::String.
#include "ka/membuf.h"

#include <algorithm>
#include <cstring>

namespace Ka {

int MemBuf::read(void *pBuf, int nBytes) {
    int n = std::min(nBytes, sBuf.getSize() - nPos);
    if (n < 1 || !pBuf)
        return 0;
    std::memmove(pBuf, sBuf.getConstStr() + nPos, size_t(n));
    nPos += n;
    return n;
}

int MemBuf::write(const void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf)
        return 0;
    const char *pSrc = static_cast<const char *>(pBuf);
    int nOver = std::min(nBytes, sBuf.getSize() - nPos);
    String sAside;
    if (nOver > 0) {
        // The source may be bytes of our own buffer, which getStr() may
        // move and the copy overwrites: take them aside first. Appending
        // alone never moves or changes bytes already stored.
        sAside.set(pSrc, nBytes);
        pSrc = sAside.getConstStr();
        std::memcpy(sBuf.getStr() + nPos, pSrc, size_t(nOver));
    }
    if (nBytes > nOver)
        sBuf.append(pSrc + nOver, nBytes - nOver);
    nPos += nBytes;
    return nBytes;
}

void MemBuf::clampTo(int64_t iPos) {
    nPos = int32_t(std::clamp<int64_t>(iPos, 0, sBuf.getSize()));
}

void MemBuf::seek(int iOffset) {
    clampTo(int64_t(nPos) + iOffset);
}

void MemBuf::setPos(int iPos) {
    clampTo(iPos);
}

void MemBuf::setPosEnd(int iPos) {
    clampTo(int64_t(sBuf.getSize()) - iPos);
}

void MemBuf::setSize(int iSize) {
    int iOld = sBuf.getSize();
    sBuf.setSize(iSize < 0 ? 0 : iSize);
    // Grown bytes are zeros, as in a file: never stale heap contents that
    // could end up in a written file.
    if (iSize > iOld)
        std::memset(sBuf.getStr() + iOld, 0, size_t(iSize - iOld));
    clampTo(nPos);
}

void MemBuf::setString(const String &sData) {
    sBuf = sData;
    nPos = 0;
}

} // namespace Ka
