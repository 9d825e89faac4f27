// Ka::Archive: moving archive bytes through a stream, and the pointer
// identity tables.
#include "ka/archive.h"

#include "ka/exception.h"

#include <algorithm>

namespace Ka {

uint32_t __calcHashCode(const ArchivePtrKey &key) {
    // Pointers share their high bits and are aligned: fold the halves
    // together and mix so that neighbouring objects spread over the table.
    uint64_t v = key.iValue;
    v ^= v >> 32;
    v *= 0x9E3779B97F4A7C15ull;
    return uint32_t(v >> 32);
}

bool __cmpHashKeys(const ArchivePtrKey &a, const ArchivePtrKey &b) {
    return a.iValue == b.iValue;
}

Archive::Archive(Stream &rStream, bool bLoading) : bLoading(bLoading), rStream(rStream) {}

void Archive::close() {
    rStream.close();
}

void Archive::write(const void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf)
        return;
    rStream.write(pBuf, nBytes);
}

void Archive::read(void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf)
        return;
    char *pNext = static_cast<char *>(pBuf);
    int iLeft = nBytes;
    while (iLeft > 0) {
        int iGot = rStream.read(pNext, iLeft);
        if (iGot <= 0)
            throw ExceptionBase("Insufficient data to unarchive object.");
        // A stream claiming more than it was asked for cannot have put it
        // anywhere but into this buffer: count no more than the buffer held.
        iGot = std::min(iGot, iLeft);
        pNext += iGot;
        iLeft -= iGot;
    }
}

uint32_t Archive::getID(const void *pPtr) {
    const ArchivePtrKey key{reinterpret_cast<uintptr_t>(pPtr)};
    if (hPtrID.has(key))
        return uint32_t(hPtrID.get(key));
    const uint32_t iId = nNextID;
    hPtrID.insert(key, iId);
    ++nNextID;
    return iId;
}

void Archive::assocPtrID(void **ppPtr, uint32_t iId) {
    const ArchivePtrKey key{iId};
    if (hPtrID.has(key)) {
        *ppPtr = reinterpret_cast<void *>(hPtrID.get(key));
        return;
    }
    if (!hPtrDest.has(iId))
        hPtrDest.insert(iId, List<void **>());
    hPtrDest.get(iId).append(ppPtr);
}

void Archive::readID(void *pObj, uint32_t iId) {
    hPtrID.insert(ArchivePtrKey{iId}, reinterpret_cast<uintptr_t>(pObj));
    if (!hPtrDest.has(iId))
        return;
    const List<void **> lWaiting = hPtrDest.get(iId);
    hPtrDest.erase(iId);
    for (auto it = lWaiting.begin(); it != lWaiting.end(); ++it)
        **it = pObj;
}

} // namespace Ka
