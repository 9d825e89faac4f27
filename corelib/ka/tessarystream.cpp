// Ka::TessaryStream: reading and writing one container stream block by block.
#include "ka/tessarystream.h"

#include "ka/exception.h"
#include "ka/formatproxy.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace Ka {

namespace {

[[noreturn]] void throwPosition(int64_t iPos) {
    throw ExceptionBase("Container stream position %lld is out of range.",
                        static_cast<long long>(iPos));
}

int32_t saturate(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// Zero bytes for filling the gap a write past the end leaves.
const char kZeros[4096] = {};

} // namespace

TessaryStream::TessaryStream(Tessary &rTessary, Tessary::Stream *pStream)
    : pTessary(&rTessary), pStream(pStream) {
    rTessary.openedStream(*this);
}

TessaryStream::~TessaryStream() {
    if (!pTessary)
        return;
    try {
        pTessary->closedStream(*this);
    } catch (...) {
        // closedStream() itself does not throw; only its lock could.
    }
}

Tessary::Stream &TessaryStream::record() {
    if (!pStream)
        throw TessaryException(Tessary::ErrNoStream,
                               "The requested stream doesn't exist and cannot be opened.");
    return *pStream;
}

int TessaryStream::read(void *pBuf, int nBytes) {
    Tessary::Stream &rRec = record();
    if (nBytes < 1 || !pBuf)
        return 0;
    if (iPos < 0)
        throwPosition(iPos);
    const int64_t iWanted = std::min<int64_t>(nBytes, int64_t(rRec.iSize) - iPos);
    const int bs = pTessary->iBlockSize;
    const Array<int, 10> &aBlocks = rRec.aBlocks;
    char *pOut = static_cast<char *>(pBuf);
    int iDone = 0;
    while (iDone < iWanted) {
        const int k = iPos / bs;
        const int iOffset = iPos % bs;
        // Only a table still being read lists fewer blocks than its size needs.
        if (k >= aBlocks.getSize())
            break;
        if (!pCurBlock || pCurBlock->iBlockIndex != aBlocks[k])
            pTessary->switchBlock(*this, aBlocks[k], false);
        const int n = int(std::min<int64_t>(iWanted - iDone, bs - iOffset));
        std::memcpy(pOut + iDone, pCurBlock->pData + iOffset, size_t(n));
        iDone += n;
        iPos += n;
    }
    return iDone;
}

int TessaryStream::write(const void *pBuf, int nBytes) {
    Tessary::Stream &rRec = record();
    if (nBytes < 1 || !pBuf)
        return 0;
    if (iPos < 0 || int64_t(iPos) + nBytes > INT32_MAX)
        throwPosition(iPos);
    // Growth that cannot be had is refused before anything is written.
    if (int64_t(iPos) + nBytes > rRec.iSize)
        pTessary->requireRoomFor(rRec, int64_t(iPos) + nBytes);
    // Past the end: zeros first, so that no stale block bytes become data.
    if (iPos > rRec.iSize) {
        const int iTarget = iPos;
        iPos = rRec.iSize;
        while (iPos < iTarget)
            writeHere(kZeros, std::min<int>(sizeof(kZeros), iTarget - iPos));
    }
    writeHere(static_cast<const char *>(pBuf), nBytes);
    return nBytes;
}

void TessaryStream::writeHere(const char *pData, int nBytes) {
    Tessary::Stream &rRec = *pStream;
    const int bs = pTessary->iBlockSize;
    while (nBytes > 0) {
        const int k = iPos / bs;
        const int iOffset = iPos % bs;
        while (k >= rRec.aBlocks.getSize())
            pTessary->streamAddBlock(rRec);
        const int iBlock = static_cast<const Array<int, 10> &>(rRec.aBlocks)[k];
        if (!pCurBlock || pCurBlock->iBlockIndex != iBlock)
            pTessary->switchBlock(*this, iBlock, int64_t(k) * bs >= rRec.iSize);
        pCurBlock->bChanged = true;
        const bool bAppend = iPos >= rRec.iSize;
        int n = std::min(bs - iOffset, nBytes);
        if (!bAppend)
            n = std::min(n, rRec.iSize - iPos);
        std::memcpy(pCurBlock->pData + iOffset, pData, size_t(n));
        pData += n;
        nBytes -= n;
        iPos += n;
        if (bAppend) {
            rRec.iSize += n;
            pTessary->headerChanged();
        }
    }
}

void TessaryStream::seek(int iOffset) {
    iPos = saturate(int64_t(iPos) + iOffset);
}

void TessaryStream::setPosEnd(int iFromEnd) {
    iPos = saturate(int64_t(getSize()) - iFromEnd);
}

void TessaryStream::setSize(int iSize) {
    Tessary::Stream &rRec = record();
    pTessary->setStreamSize(rRec, std::max(iSize, 0));
    if (iPos > rRec.iSize)
        iPos = rRec.iSize;
}

int TessaryStream::getSize() {
    return record().iSize;
}

int TessaryStream::getBlockSize() {
    record();
    return pTessary->iBlockSize;
}

String TessaryStream::getLocation() {
    return String("%1").arg(record().iId);
}

} // namespace Ka
