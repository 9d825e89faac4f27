// Ka::Tessary: reading and writing the container's table, handing out and
// taking back blocks, and the cache of loaded blocks.
#include "ka/tessary.h"

#include "ka/exception.h"
#include "ka/formatter.h"
#include "ka/helpers.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace Ka {

namespace {

const unsigned char kMagic[4] = {0x0A, 0xD3, 0xFA, 0x84};
// Magic, version byte, word-size byte, block size, stream count.
constexpr int kFixedHeader = 14;
// Consecutive released blocks are written in pieces of up to this size.
constexpr int kRunBytes = 64 * 1024;
// Positions of the store are 32-bit.
constexpr int64_t kMaxStore = INT32_MAX;

const char *const kMessages[] = {
    "Input stream appears to be empty.",
    "Stream does not appear to be a valid Tessary format.",
    "We can only handle version 1 for now.",
    "We can only handle 32-bit words at the moment.",
    "The requested stream doesn't exist and cannot be opened.",
    "There is already a stream with the given id.",
    "Invalid stream id.",
    "You cannot delete stream zero, it is protected.",
};

[[noreturn]] void throwCode(int iCode) {
    throw TessaryException(iCode, "%s", kMessages[iCode]);
}

[[noreturn]] __attribute__((format(printf, 1, 2))) void throwDamaged(const char *sFormat, ...) {
    char sDetail[200];
    va_list args;
    va_start(args, sFormat);
    std::vsnprintf(sDetail, sizeof(sDetail), sFormat, args);
    va_end(args);
    throw TessaryException(Tessary::ErrDamaged, "The container's stream table is damaged: %s.",
                           sDetail);
}

// One line of the destructor's diagnostics on the console: the prefix, what
// `write` adds, the line end. A destructor has no one to throw to, so a
// failure here is swallowed.
template <typename F>
void report(F write) noexcept {
    try {
        Formatter &f = consoleFormatter();
        f << "Ka::Tessary::~Tessary(): Error: ";
        write(f);
        f << Formatter::nl;
    } catch (...) {
    }
}

// The blocks and bytes of stream 0 before its entry is known: the fixed
// header, stream 0's id and size, and one index per block. Terminates for
// block sizes above 4; callers pass at least kMinBlockSize.
int headerBlocks(int iBlockSize, int &rHeaderSize) {
    int64_t hs = 26;
    int64_t hb = 0;
    while (hb * iBlockSize < hs) {
        hb = divUp(hs + 4, iBlockSize);
        hs = 22 + 4 * hb;
    }
    rHeaderSize = int(hs);
    return int(hb);
}

void putInt(std::string &s, int32_t v) {
    uint32_t u = uint32_t(v);
    char a[4] = {char(u), char(u >> 8), char(u >> 16), char(u >> 24)};
    s.append(a, 4);
}

int32_t getInt(const unsigned char *p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                   uint32_t(p[3]) << 24);
}

// Reads until nBytes are in or the stream has no more; returns the count.
int readFully(Ka::Stream &rStream, void *pBuf, int nBytes) {
    char *p = static_cast<char *>(pBuf);
    int iDone = 0;
    while (iDone < nBytes) {
        int n = rStream.read(p + iDone, nBytes - iDone);
        if (n <= 0)
            break;
        iDone += n;
    }
    return iDone;
}

int32_t readTableInt(TessaryStream &rStream) {
    unsigned char a[4];
    if (readFully(rStream, a, 4) != 4)
        throwDamaged("the table runs past the end of stream 0");
    return getInt(a);
}

} // namespace

Tessary::Tessary(Ka::Stream &rStore, int iBlockSize, int iPreallocate) : rStore(rStore) {
    try {
        try {
            initialize();
        } catch (const TessaryException &e) {
            if (e.getErrorCode() != ErrEmpty)
                throw;
            initialize(iBlockSize, iPreallocate);
        }
    } catch (...) {
        clearTable();
        MutexLocker lActive(mActiveBlocks);
        dropBlocks();
        delete[] pRun;
        throw;
    }
}

Tessary::~Tessary() {
    {
        MutexLocker lActive(mActiveBlocks);
        if (!hActiveBlocks.isEmpty())
            report([&](Formatter &f) {
                f << "There are " << hActiveBlocks.getSize() << " unsynced blocks!";
            });
    }
    try {
        sync();
    } catch (const std::exception &e) {
        report([&](Formatter &f) { f << e.what(); });
    } catch (...) {
        report([](Formatter &f) { f << "the last sync failed."; });
    }
    try {
        detachStreams(nullptr);
    } catch (...) {
        // Only a failing mutex could get here; the memory below goes anyway.
    }
    clearTable();
    dropBlocks();
    delete[] pRun;
}

// ---- Opening and creating ----

void Tessary::initialize() {
    MutexLocker lHeader(mHeader);
    {
        // Blocks already handed back count as written: the table is read
        // from the store, so they must be there first.
        MutexLocker lActive(mActiveBlocks);
        writeBackLocked();
    }
    rereadTable();
}

void Tessary::reload() {
    MutexLocker lHeader(mHeader);
    detachStreams(nullptr);
    {
        // Nothing is written back: the store already holds what counts.
        MutexLocker lActive(mActiveBlocks);
        dropBlocks();
    }
    rereadTable();
}

void Tessary::rereadTable() {
    detachStreams(nullptr);
    clearTable();
    try {
        readTable();
    } catch (...) {
        clearTable();
        throw;
    }
}

void Tessary::readTable() {
    int64_t iSize;
    {
        MutexLocker lActive(mActiveBlocks);
        iSize = iStoreSize = queryStoreSize();
    }
    rStore.setPos(0);
    unsigned char aHead[kFixedHeader];
    if (readFully(rStore, aHead, 4) < 4)
        throwCode(ErrEmpty);
    if (std::memcmp(aHead, kMagic, 4) != 0)
        throwCode(ErrNotTessary);
    if (readFully(rStore, aHead + 4, 2) < 2)
        throwDamaged("the header is cut short");
    if (aHead[4] != 1)
        throwCode(ErrVersion);
    if (aHead[5] != 32)
        throwCode(ErrWordSize);
    if (readFully(rStore, aHead + 6, 8) < 8)
        throwDamaged("the header is cut short");
    const int bs = getInt(aHead + 6);
    const int iCount = getInt(aHead + 10);
    if (bs < kMinBlockSize || bs > iSize)
        throwDamaged("block size %d in a store of %lld bytes", bs, static_cast<long long>(iSize));
    setBlockSize(bs);
    iBlocks = int(iSize / bs);
    // Every entry takes at least 8 bytes of a table that lies in the store.
    if (iCount < 1 || iCount > (iSize - kFixedHeader) / 8)
        throwDamaged("%d streams in a store of %lld bytes", iCount, static_cast<long long>(iSize));
    int hs;
    const int hb = headerBlocks(bs, hs);
    if (hb > iBlocks)
        throwDamaged("the store holds %d blocks, stream 0 needs %d", iBlocks, hb);
    aStreams.setCapacity(iCount);
    BitString bitsUsed(iBlocks);

    // Stream 0 starts in blocks 0 to hb-1; once those indices are read, the
    // rest of the table is read through stream 0's own block list.
    Stream provisional;
    provisional.iSize = hs;
    for (int j = 0; j < hb; ++j)
        provisional.aBlocks.append(j);
    auto pReader = std::make_unique<TessaryStream>(*this, &provisional);
    pReader->setPos(kFixedHeader);

    for (int e = 0; e < iCount; ++e) {
        std::unique_ptr<Stream> pNew(new Stream);
        aStreams.append(pNew.get());
        Stream *pRec = pNew.release();
        const int iId = readTableInt(*pReader);
        const int iStreamSize = readTableInt(*pReader);
        if (e == 0 && iId != 0)
            throwDamaged("the table begins with stream %d instead of stream 0", iId);
        if (e > 0 && iId <= aStreams[e - 1]->iId)
            throwDamaged("stream %d follows stream %d", iId, aStreams[e - 1]->iId);
        if (iStreamSize < 0)
            throwDamaged("stream %d has size %d", iId, iStreamSize);
        const int64_t nb = divUp(iStreamSize, bs);
        if (nb > iBlocks - iUsed)
            throwDamaged("stream %d needs %lld blocks, the store has %d more", iId,
                         static_cast<long long>(nb), iBlocks - iUsed);
        if (e == 0 && (iStreamSize < kFixedHeader + 8LL * iCount || nb < hb))
            throwDamaged("stream 0 of %d bytes cannot hold %d entries", iStreamSize, iCount);
        pRec->iId = iId;
        pRec->iSize = iStreamSize;
        pRec->aBlocks.setCapacity(int(nb));
        for (int j = 0; j < nb; ++j) {
            const int iBlock = readTableInt(*pReader);
            if (bitsUsed.getBit(iBlock))
                throwDamaged("block %d is listed twice", iBlock);
            // Throws for a block outside the store.
            bitsUsed.setBit(iBlock, true);
            if (e == 0 && j < hb && iBlock != j)
                throwDamaged("stream 0 does not begin with block %d", j);
            pRec->aBlocks.append(iBlock);
            ++iUsed;
            if (e == 0 && j == hb - 1) {
                int iAt = pReader->tell();
                pReader = std::make_unique<TessaryStream>(*this, pRec);
                pReader->setPos(iAt);
            }
        }
    }
    pReader.reset();
    for (int b = 0; b < iBlocks; ++b) {
        if (!bitsUsed.getBit(b))
            lFreeBlocks.append(b);
    }
}

void Tessary::initialize(int iNewBlockSize, int iPreallocate) {
    if (iNewBlockSize < kMinBlockSize)
        throw ExceptionBase("Invalid container block size: %d.", iNewBlockSize);
    int hs;
    const int hb = headerBlocks(iNewBlockSize, hs);
    const int64_t iTotal = int64_t(std::max(iPreallocate, 0)) + hb;
    if (iTotal * iNewBlockSize > kMaxStore)
        throw ExceptionBase("A container of %lld blocks of %d bytes would outgrow 2 GiB.",
                            static_cast<long long>(iTotal), iNewBlockSize);

    MutexLocker lHeader(mHeader);
    detachStreams(nullptr);
    {
        MutexLocker lActive(mActiveBlocks);
        dropBlocks();
    }
    clearTable();
    setBlockSize(iNewBlockSize);

    rStore.setPos(0);
    const int64_t iBytes = iTotal * iNewBlockSize;
    std::vector<char> aZeros(size_t(std::min<int64_t>(iBytes, kRunBytes)), 0);
    for (int64_t iLeft = iBytes; iLeft > 0;) {
        int n = int(std::min<int64_t>(iLeft, kRunBytes));
        rStore.write(aZeros.data(), n);
        iLeft -= n;
    }
    std::string sHead(reinterpret_cast<const char *>(kMagic), 4);
    sHead += char(1);
    sHead += char(32);
    putInt(sHead, iNewBlockSize);
    putInt(sHead, 1);
    putInt(sHead, 0);
    putInt(sHead, hs);
    for (int j = 0; j < hb; ++j)
        putInt(sHead, j);
    rStore.setPos(0);
    rStore.write(sHead.data(), int(sHead.size()));
    {
        MutexLocker lActive(mActiveBlocks);
        iStoreSize = queryStoreSize();
    }

    std::unique_ptr<Stream> pZero(new Stream);
    pZero->iSize = hs;
    for (int j = 0; j < hb; ++j)
        pZero->aBlocks.append(j);
    aStreams.append(pZero.get());
    pZero.release();
    iBlocks = int(iTotal);
    iUsed = hb;
    for (int b = hb; b < iBlocks; ++b)
        lFreeBlocks.append(b);
    bHeaderChanged = true;
}

void Tessary::clearTable() {
    for (int i = 0; i < aStreams.getSize(); ++i)
        delete aStreams[i];
    aStreams.clear();
    lFreeBlocks.clear();
    iBlocks = 0;
    iUsed = 0;
    bHeaderChanged = false;
}

void Tessary::setBlockSize(int iNewBlockSize) {
    MutexLocker lActive(mActiveBlocks);
    if (iNewBlockSize == iBlockSize)
        return;
    // Both are sized by the block size; the run is empty here.
    delete pSpare;
    pSpare = nullptr;
    delete[] pRun;
    pRun = nullptr;
    iRunCount = 0;
    iRunCapacity = std::max(1, kRunBytes / iNewBlockSize);
    iBlockSize = iNewBlockSize;
}

// ---- Writing the table ----

void Tessary::sync() {
    MutexLocker lHeader(mHeader);
    // The data first, the table last: a sync cut short leaves the table in
    // the store listing only blocks that reached it before. Stream 0 takes
    // the blocks the new table needs first, so that the store grows to hold
    // them along with the data's.
    const bool bTable = prepareTable();
    {
        MutexLocker lActive(mActiveBlocks);
        // Blocks that were counted but never written belong to the store
        // before a table that lists them gets there.
        const int64_t iNeeded = int64_t(iBlocks) * iBlockSize;
        if (iStoreSize < iNeeded) {
            iStoreSize = queryStoreSize();
            if (iStoreSize < iNeeded) {
                rStore.setSize(int(iNeeded));
                iStoreSize = iNeeded;
            }
        }
        writeBackLocked();
    }
    if (!bTable)
        return;
    writeTable();
    MutexLocker lActive(mActiveBlocks);
    writeBackLocked();
}

void Tessary::writeHeader() {
    MutexLocker lHeader(mHeader);
    if (prepareTable())
        writeTable();
}

bool Tessary::prepareTable() {
    if (!bHeaderChanged || aStreams.isEmpty() || !rStore.canWrite())
        return false;
    Stream &rZero = *aStreams[0];
    int64_t hs = kFixedHeader + 8LL * aStreams.getSize();
    for (int i = 0; i < aStreams.getSize(); ++i)
        hs += 4LL * aStreams[i]->aBlocks.getSize();
    // Stream 0 gets every block the table needs before the write, so that
    // writing it never asks for a block (and for mHeader) again.
    while (rZero.aBlocks.getSize() < divUp(hs, iBlockSize)) {
        requireRoom(1);
        appendBlock(rZero, findEmptyBlock());
        ++iUsed;
        hs += 4;
    }
    rZero.iSize = int32_t(hs);
    return true;
}

void Tessary::writeTable() {
    Stream &rZero = *aStreams[0];
    std::string sTable;
    sTable.reserve(size_t(rZero.iSize));
    sTable.append(reinterpret_cast<const char *>(kMagic), 4);
    sTable += char(1);
    sTable += char(32);
    putInt(sTable, iBlockSize);
    putInt(sTable, aStreams.getSize());
    for (int i = 0; i < aStreams.getSize(); ++i) {
        const Stream &r = *aStreams[i];
        putInt(sTable, r.iId);
        putInt(sTable, r.iSize);
        int n = int(std::min<int64_t>(divUp(r.iSize, iBlockSize), r.aBlocks.getSize()));
        for (int j = 0; j < n; ++j)
            putInt(sTable, r.aBlocks[j]);
    }
    {
        TessaryStream writer(*this, &rZero);
        writer.write(sTable.data(), int(sTable.size()));
    }
    bHeaderChanged = false;
}

// ---- Streams ----

int Tessary::lowerBound(int iId) {
    int lo = 0;
    int hi = aStreams.getSize();
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        if (aStreams[mid]->iId < iId)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

Tessary::Stream *Tessary::findStream(int iId) {
    int iAt = lowerBound(iId);
    if (iAt < aStreams.getSize() && aStreams[iAt]->iId == iId)
        return aStreams[iAt];
    throwCode(ErrNoStream);
}

int Tessary::createStream(int iPreallocate) {
    MutexLocker lHeader(mHeader);
    if (aStreams.isEmpty())
        throwCode(ErrNoStream);
    const int iLast = aStreams.last()->iId;
    if (iLast == INT32_MAX)
        throw ExceptionBase("No stream id is left after %d.", iLast);
    return addStream(iLast + 1, iPreallocate, aStreams.getSize())->iId;
}

int Tessary::createStreamWithId(int iId, int iPreallocate) {
    MutexLocker lHeader(mHeader);
    // A negative id would stand before stream 0, where readers expect the table.
    if (iId < 0)
        throwCode(ErrInvalidId);
    int iAt = lowerBound(iId);
    if (iAt < aStreams.getSize() && aStreams[iAt]->iId == iId)
        throwCode(ErrStreamExists);
    return addStream(iId, iPreallocate, iAt)->iId;
}

Tessary::Stream *Tessary::addStream(int iId, int iPreallocate, int iAt) {
    const int n = std::max(iPreallocate, 0);
    requireRoom(n);
    std::unique_ptr<Stream> pNew(new Stream);
    pNew->iId = iId;
    pNew->aBlocks.setCapacity(n);
    if (aStreams.getSize() == aStreams.getCapacity())
        aStreams.setCapacity(std::max(16, aStreams.getCapacity() * 2));
    for (int i = 0; i < n; ++i)
        pNew->aBlocks.append(findEmptyBlock());
    iUsed += n;
    aStreams.insert(Array<Stream *, 10>::const_iterator(&aStreams, iAt), pNew.get());
    bHeaderChanged = true;
    return pNew.release();
}

void Tessary::deleteStream(int iId) {
    MutexLocker lHeader(mHeader);
    if (iId < 0)
        throwCode(ErrInvalidId);
    if (iId == 0)
        throwCode(ErrStreamZero);
    int iAt = lowerBound(iId);
    if (iAt == aStreams.getSize() || aStreams[iAt]->iId != iId)
        return;
    Stream *pRec = aStreams[iAt];
    detachStreams(pRec);
    for (int j = 0; j < pRec->aBlocks.getSize(); ++j) {
        lFreeBlocks.append(pRec->aBlocks[j]);
        --iUsed;
    }
    aStreams.erase(Array<Stream *, 10>::const_iterator(&aStreams, iAt));
    delete pRec;
    bHeaderChanged = true;
}

TessaryStream Tessary::openStream(int iId) {
    MutexLocker lHeader(mHeader);
    return TessaryStream(*this, findStream(iId));
}

bool Tessary::hasStream(int iId) {
    MutexLocker lHeader(mHeader);
    int iAt = lowerBound(iId);
    return iAt < aStreams.getSize() && aStreams[iAt]->iId == iId;
}

int Tessary::getStreamSize(int iId) {
    MutexLocker lHeader(mHeader);
    return findStream(iId)->iSize;
}

Array<int> Tessary::getStreamIds() {
    MutexLocker lHeader(mHeader);
    Array<int> aIds(aStreams.getSize());
    for (int i = 0; i < aStreams.getSize(); ++i)
        aIds.append(aStreams[i]->iId);
    return aIds;
}

int Tessary::getNumStreams() {
    MutexLocker lHeader(mHeader);
    return aStreams.getSize();
}

int Tessary::getBlockSize() {
    return iBlockSize;
}

int Tessary::getNumBlocks() {
    return iBlocks;
}

int Tessary::getNumUsedBlocks() {
    return iUsed;
}

int64_t Tessary::getTotalUsedBytes() {
    MutexLocker lHeader(mHeader);
    int64_t iTotal = 0;
    for (int i = 0; i < aStreams.getSize(); ++i)
        iTotal += aStreams[i]->iSize;
    return iTotal;
}

int64_t Tessary::getTotalUnusedBytes() {
    return getTotalUnusedBytes(iBlockSize);
}

int64_t Tessary::getTotalUnusedBytes(int iAssumedBlockSize) {
    if (iAssumedBlockSize <= 0)
        throw ExceptionBase("Invalid block size: %d.", iAssumedBlockSize);
    MutexLocker lHeader(mHeader);
    int64_t iTotal = int64_t(iAssumedBlockSize) * (iBlocks - iUsed);
    // A stream that fills its last block exactly wastes nothing there.
    for (int i = 0; i < aStreams.getSize(); ++i)
        iTotal += (iAssumedBlockSize - aStreams[i]->iSize % iAssumedBlockSize) % iAssumedBlockSize;
    return iTotal;
}

BitString Tessary::getBlocksUsed() {
    MutexLocker lHeader(mHeader);
    BitString used(iBlocks);
    used.invert();
    for (auto it = lFreeBlocks.begin(); it != lFreeBlocks.end(); ++it)
        used.setBit(*it, false);
    return used;
}

bool Tessary::isTessary(Ka::Stream &rStream) {
    int iVersion;
    return isTessary(rStream, iVersion);
}

bool Tessary::isTessary(Ka::Stream &rStream, int &iVersion) {
    rStream.setPos(0);
    unsigned char aHead[5];
    if (readFully(rStream, aHead, 4) < 4) {
        rStream.setPos(0);
        throwCode(ErrEmpty);
    }
    iVersion = readFully(rStream, aHead + 4, 1) == 1 ? aHead[4] : -1;
    rStream.setPos(0);
    return std::memcmp(aHead, kMagic, 4) == 0;
}

// ---- Blocks of streams (callers hold mHeader) ----

void Tessary::appendBlock(Stream &rStream, int iBlock) {
    Array<int, 10> &a = rStream.aBlocks;
    // The array grows by a fixed step; a stream of many blocks must not
    // copy its list on every tenth block.
    if (a.getSize() == a.getCapacity())
        a.setCapacity(std::max(16, a.getCapacity() * 2));
    a.append(iBlock);
}

void Tessary::requireRoom(int64_t iCount) {
    const int64_t iRoom = lFreeBlocks.getSize() + (kMaxStore / iBlockSize - iBlocks);
    if (iCount > iRoom)
        throw ExceptionBase("The container cannot take %lld more blocks of %d bytes: it would "
                            "outgrow 2 GiB.",
                            static_cast<long long>(iCount), iBlockSize);
}

int Tessary::findEmptyBlock() {
    bHeaderChanged = true;
    if (!lFreeBlocks.isEmpty())
        return lFreeBlocks.takeFirst();
    requireRoom(1);
    // The store grows when the block is written, or at the latest at sync().
    return iBlocks++;
}

void Tessary::requireRoomFor(const Stream &rStream, int64_t iEnd) {
    MutexLocker lHeader(mHeader);
    requireRoom(divUp(iEnd, iBlockSize) - rStream.aBlocks.getSize());
}

int Tessary::streamAddBlock(Stream &rStream) {
    MutexLocker lHeader(mHeader);
    int iBlock = findEmptyBlock();
    appendBlock(rStream, iBlock);
    ++iUsed;
    return iBlock;
}

void Tessary::setStreamSize(Stream &rStream, int iSize) {
    MutexLocker lHeader(mHeader);
    iSize = std::max(iSize, 0);
    if (iSize == rStream.iSize)
        return;
    Array<int, 10> &a = rStream.aBlocks;
    if (iSize < rStream.iSize) {
        // The stream keeps iSize / block size + 1 blocks.
        while (int64_t(a.getSize() - 1) * iBlockSize > iSize) {
            lFreeBlocks.append(a.last());
            a.eraseLast();
            --iUsed;
        }
    } else {
        const int64_t iMissing = divUp(iSize, iBlockSize) - a.getSize();
        if (iMissing > 0) {
            requireRoom(iMissing);
            a.setCapacity(int(divUp(iSize, iBlockSize)));
            while (int64_t(a.getSize()) * iBlockSize < iSize) {
                a.append(findEmptyBlock());
                ++iUsed;
            }
        }
    }
    rStream.iSize = iSize;
    bHeaderChanged = true;
}

// ---- Open streams and their blocks (mActiveBlocks) ----

void Tessary::openedStream(TessaryStream &rStream) {
    MutexLocker lActive(mActiveBlocks);
    rStream.pNextOpen = pFirstOpen;
    if (pFirstOpen)
        pFirstOpen->pPrevOpen = &rStream;
    pFirstOpen = &rStream;
}

void Tessary::closedStream(TessaryStream &rStream) {
    MutexLocker lActive(mActiveBlocks);
    if (Block *pBlock = rStream.pCurBlock) {
        rStream.pCurBlock = nullptr;
        try {
            releaseBlock(pBlock);
        } catch (...) {
            // The block stays in the cache, and the next sync() reports.
        }
    }
    unlinkStream(rStream);
}

void Tessary::unlinkStream(TessaryStream &rStream) {
    if (rStream.pPrevOpen)
        rStream.pPrevOpen->pNextOpen = rStream.pNextOpen;
    else
        pFirstOpen = rStream.pNextOpen;
    if (rStream.pNextOpen)
        rStream.pNextOpen->pPrevOpen = rStream.pPrevOpen;
    rStream.pPrevOpen = rStream.pNextOpen = nullptr;
    rStream.pTessary = nullptr;
}

void Tessary::detachStreams(Stream *pStream) {
    MutexLocker lActive(mActiveBlocks);
    TessaryStream *p = pFirstOpen;
    while (p) {
        TessaryStream *pNext = p->pNextOpen;
        if (!pStream || p->pStream == pStream) {
            if (Block *pBlock = p->pCurBlock) {
                // Its changes are written back already, or belong to a
                // stream that is gone.
                if (--pBlock->iUsers == 0) {
                    hActiveBlocks.erase(pBlock->iBlockIndex);
                    recycle(pBlock);
                }
                p->pCurBlock = nullptr;
            }
            unlinkStream(*p);
            p->pStream = nullptr;
        }
        p = pNext;
    }
}

void Tessary::switchBlock(TessaryStream &rStream, int iIndex, bool bFresh) {
    MutexLocker lActive(mActiveBlocks);
    if (Block *pOld = rStream.pCurBlock) {
        rStream.pCurBlock = nullptr;
        releaseBlock(pOld);
    }
    rStream.pCurBlock = getBlock(iIndex, bFresh);
}

Tessary::Block *Tessary::getBlock(int iIndex, bool bFresh) {
    if (hActiveBlocks.has(iIndex)) {
        Block *pShared = hActiveBlocks.get(iIndex);
        ++pShared->iUsers;
        return pShared;
    }
    // The gathered copy is the newer one, and it must reach the store
    // before this block can be written.
    if (iRunCount > 0 && iIndex >= iRunFirst && iIndex < iRunFirst + iRunCount)
        flushRun();
    Block *pBlock = pSpare ? pSpare : new Block(iBlockSize);
    pSpare = nullptr;
    try {
        const int64_t iPos = int64_t(iIndex) * iBlockSize;
        int iHave = 0;
        // Bytes past the stream's end are never read: no need to fetch them.
        if (!bFresh && iPos < iStoreSize) {
            rStore.setPos(int(iPos));
            iHave = readFully(rStore, pBlock->pData, iBlockSize);
        }
        // A block past the store's end reads as zeros, as a grown file does.
        std::memset(pBlock->pData + iHave, 0, size_t(iBlockSize - iHave));
        pBlock->iBlockIndex = iIndex;
        pBlock->bChanged = false;
        pBlock->iUsers = 1;
        hActiveBlocks.insert(iIndex, pBlock);
    } catch (...) {
        recycle(pBlock);
        throw;
    }
    return pBlock;
}

void Tessary::releaseBlock(Block *pBlock) {
    if (--pBlock->iUsers > 0)
        return;
    if (pBlock->bChanged)
        stageBlock(pBlock); // on failure the block stays in the cache, unheld
    hActiveBlocks.erase(pBlock->iBlockIndex);
    recycle(pBlock);
}

void Tessary::stageBlock(Block *pBlock) {
    // Runs end at multiples of their size in the store where they can, so
    // that the store sees whole pages.
    const int64_t iRunEnd = int64_t(iRunFirst + iRunCount) * iBlockSize;
    if (iRunCount > 0 && (pBlock->iBlockIndex != iRunFirst + iRunCount ||
                          iRunCount == iRunCapacity || iRunEnd % kRunBytes == 0))
        flushRun();
    if (!pRun)
        pRun = new char[size_t(iRunCapacity) * size_t(iBlockSize)];
    if (iRunCount == 0)
        iRunFirst = pBlock->iBlockIndex;
    std::memcpy(pRun + size_t(iRunCount) * size_t(iBlockSize), pBlock->pData, size_t(iBlockSize));
    ++iRunCount;
    pBlock->bChanged = false;
}

void Tessary::flushRun() {
    if (iRunCount == 0)
        return;
    writeStore(int64_t(iRunFirst) * iBlockSize, pRun, iRunCount * iBlockSize);
    iRunCount = 0;
}

void Tessary::syncBlock(Block *pBlock) {
    if (!pBlock->bChanged)
        return;
    writeStore(int64_t(pBlock->iBlockIndex) * iBlockSize, pBlock->pData, iBlockSize);
    pBlock->bChanged = false;
}

void Tessary::writeBackLocked() {
    flushRun();
    std::vector<Block *> lUnheld;
    for (auto it = hActiveBlocks.begin(); it.isValid(); ++it) {
        Block *pBlock = it.getValue();
        syncBlock(pBlock);
        if (pBlock->iUsers == 0)
            lUnheld.push_back(pBlock);
    }
    for (Block *pBlock : lUnheld) {
        hActiveBlocks.erase(pBlock->iBlockIndex);
        recycle(pBlock);
    }
}

void Tessary::dropBlocks() {
    for (auto it = hActiveBlocks.begin(); it.isValid(); ++it)
        delete it.getValue();
    hActiveBlocks.clear();
    delete pSpare;
    pSpare = nullptr;
    iRunCount = 0;
}

void Tessary::recycle(Block *pBlock) {
    if (pSpare)
        delete pBlock;
    else
        pSpare = pBlock;
}

void Tessary::writeStore(int64_t iPos, const char *pData, int iCount) {
    if (iPos > iStoreSize) {
        // Grow first: a stream that clamps its position (a memory buffer)
        // would otherwise put the bytes at its end.
        iStoreSize = queryStoreSize();
        if (iPos > iStoreSize) {
            rStore.setSize(int(iPos));
            iStoreSize = iPos;
        }
    }
    rStore.setPos(int(iPos));
    try {
        rStore.write(pData, iCount);
    } catch (...) {
        // Part of the bytes may have gone in: ask the store, or assume all.
        try {
            iStoreSize = queryStoreSize();
        } catch (...) {
            iStoreSize = std::max(iStoreSize, iPos + iCount);
        }
        throw;
    }
    iStoreSize = std::max(iStoreSize, iPos + iCount);
}

int64_t Tessary::queryStoreSize() {
    rStore.setPosEnd(0);
    return rStore.tell();
}

} // namespace Ka
