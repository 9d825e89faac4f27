// Ka::QueueBuf: block bookkeeping for writing, reading, peeking and skipping.
#include "ka/queuebuf.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

namespace Ka {

QueueBuf::QueueBuf(int iBlockSize) : iBlockSize(std::max(iBlockSize, 1)) {}

QueueBuf::~QueueBuf() {
    close();
}

char *QueueBuf::newBlock() {
    std::unique_ptr<char[]> pBlock(new char[size_t(iBlockSize)]);
    lBlocks.append(pBlock.get());
    iWriteOffset = 0;
    return pBlock.release();
}

void QueueBuf::freeFirstBlock() {
    delete[] lBlocks.takeFirst();
}

void QueueBuf::close() {
    while (!lBlocks.isEmpty())
        freeFirstBlock();
    iReadOffset = 0;
    iWriteOffset = 0;
    iTotalSize = 0;
}

int QueueBuf::write(const void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf)
        return 0;
    nBytes = std::min(nBytes, INT_MAX - iTotalSize);
    const char *pSrc = static_cast<const char *>(pBuf);
    char *pBlock = lBlocks.isEmpty() ? newBlock() : lBlocks.last();
    int nLeft = nBytes;
    while (nLeft > 0) {
        if (iWriteOffset == iBlockSize)
            pBlock = newBlock();
        int n = std::min(nLeft, iBlockSize - iWriteOffset);
        std::memcpy(pBlock + iWriteOffset, pSrc, size_t(n));
        pSrc += n;
        nLeft -= n;
        iWriteOffset += n;
        iTotalSize += n;
    }
    return nBytes;
}

int QueueBuf::read(void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf || lBlocks.isEmpty())
        return 0;
    char *pDest = static_cast<char *>(pBuf);
    int nDone = 0;
    while (nDone < nBytes && iTotalSize > 0) {
        if (iReadOffset == iBlockSize) {
            freeFirstBlock();
            if (lBlocks.isEmpty())
                break;
            iReadOffset = 0;
        }
        int n = std::min({nBytes - nDone, iBlockSize - iReadOffset, iTotalSize});
        std::memcpy(pDest + nDone, lBlocks.first() + iReadOffset, size_t(n));
        nDone += n;
        iReadOffset += n;
        iTotalSize -= n;
    }
    return nDone;
}

int QueueBuf::peek(void *pBuf, int nBytes) {
    return peek(pBuf, nBytes, 0);
}

int QueueBuf::peek(void *pBuf, int nBytes, int iSkip) {
    if (nBytes < 1 || !pBuf || iSkip < 0 || iSkip >= iTotalSize)
        return 0;
    const List<char *> &lConst = lBlocks;
    List<char *>::const_iterator it = lConst.begin();
    // 64 bits: the read offset plus a large skip must not wrap.
    int64_t iOffset = int64_t(iReadOffset) + iSkip;
    while (iOffset > iBlockSize) {
        iOffset -= iBlockSize;
        ++it;
    }
    char *pDest = static_cast<char *>(pBuf);
    int nAvail = iTotalSize - iSkip;
    int nDone = 0;
    while (nDone < nBytes && nAvail > 0) {
        if (iOffset == iBlockSize) {
            ++it;
            if (!it.isValid())
                break;
            iOffset = 0;
        }
        int n = std::min({nBytes - nDone, iBlockSize - int(iOffset), nAvail});
        std::memcpy(pDest + nDone, *it + iOffset, size_t(n));
        nDone += n;
        iOffset += n;
        nAvail -= n;
    }
    return nDone;
}

void QueueBuf::seek(int iCount) {
    if (iCount < 1)
        return;
    if (iTotalSize <= iCount) {
        close();
        return;
    }
    iTotalSize -= iCount;
    int64_t iOffset = int64_t(iReadOffset) + iCount;
    while (iOffset >= iBlockSize) {
        freeFirstBlock();
        iOffset -= iBlockSize;
    }
    iReadOffset = int32_t(iOffset);
}

} // namespace Ka
