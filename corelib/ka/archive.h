// Ka::Archive: the archive layout over a Ka::Stream, with the tables that
// keep pointer identity for archives of object graphs.
#pragma once

#include "ka/archivebase.h"
#include "ka/hash.h"
#include "ka/list.h"
#include "ka/stream.h"

#include <cstdint>

namespace Ka {

// A key of the identity table wide enough for a pointer: a pointer value in
// a writing archive, an id in a reading one.
struct ArchivePtrKey {
    uintptr_t iValue;
};
uint32_t __calcHashCode(const ArchivePtrKey &key);
bool __cmpHashKeys(const ArchivePtrKey &a, const ArchivePtrKey &b);

// Reads (bLoading true) or writes (false) the layout of ArchiveBase through a
// stream it borrows: the stream must outlive the archive, which neither
// closes nor flushes it on destruction. Not thread-safe.
class Archive : public ArchiveBase {
public:
    Archive(Stream &rStream, bool bLoading);
    ~Archive() override = default;

    // Closes the stream.
    void close() override;
    // Hands the bytes to the stream's write. What a write returns is not a
    // reliable count across stream kinds (a coding filter reports the bytes
    // it passed below), so failures are left to the stream to throw.
    void write(const void *pBuf, int nBytes) override;
    // Reads until the count is complete: a stream may hand out fewer bytes
    // than asked before its end (a decompressor does). A read that returns
    // nothing first throws "Insufficient data to unarchive object.".
    void read(void *pBuf, int nBytes) override;
    bool isLoading() const override { return bLoading; }

    // Pointer identity, for object graphs written once per object and
    // referred to by id. Writing: the id of a pointer value, a new one (from
    // 1 upwards) the first time it is seen.
    uint32_t getID(const void *pPtr);
    // Reading: the object with this id goes into *ppPtr, at once when it was
    // read already, otherwise as soon as readID names it. *ppPtr must stay
    // valid until then.
    void assocPtrID(void **ppPtr, uint32_t iId);
    // Reading: the object with this id lives at pObj; every pointer waiting
    // for the id is set to it.
    void readID(void *pObj, uint32_t iId);

private:
    bool bLoading;
    Stream &rStream;
    uint32_t nNextID = 1;
    Hash<ArchivePtrKey, uintptr_t> hPtrID;
    Hash<unsigned int, List<void **>> hPtrDest;
};

} // namespace Ka
