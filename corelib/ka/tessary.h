// Ka::Tessary: many numbered byte streams kept in fixed-size blocks of one underlying stream.
#pragma once

#include "ka/array.h"
#include "ka/bitstring.h"
#include "ka/hash.h"
#include "ka/list.h"
#include "ka/mutex.h"
#include "ka/stream.h"

#include <cstdint>

namespace Ka {

class TessaryStream;

// The container cuts the underlying stream (the store) into blocks of one
// size; every container stream owns an ordered list of blocks, and the table
// of streams is itself kept as stream 0 (docs/container-format.md has the
// bytes). Streams are read and written through Ka::TessaryStream objects
// handed out by openStream().
//
// Ownership: the store is borrowed and must outlive the container; it is
// never closed. Nobody else may change the store while the container is
// open. Every TessaryStream should be destroyed before its container; one
// that outlives it, whose stream is deleted, or that is open while
// initialize() runs is cut off, and any later use of it throws code 4 (its
// changes reach the store first, unless its stream or the whole old
// container is being discarded). Streams open on the same container stream
// share its loaded blocks and see each other's writes at once.
//
// Writing: table changes reach the store at sync() or destruction. Changed
// blocks are written back when a TessaryStream moves to another block, is
// destroyed, or at sync(); consecutive blocks are gathered and written
// together, so a failing store may report its error at a later write or at
// sync(). A block a write failed to store stays in memory and is tried again
// at the next sync(). The store grows when blocks are written to it, and at
// sync() to hold every block the container counts.
//
// Exceptions: TessaryException for a container the store does not hold (or
// holds damaged), codes below; the block map's ExceptionBase "bit out of
// range: ..." for a table listing a block outside the store; ExceptionBase
// for caller errors and for a container that would outgrow 2 GiB (checked
// before anything changes); the store's own exceptions pass through
// unchanged. After any of them the container stays consistent and
// destructible. A damaged or hostile store ends in an exception: every
// read is bounded by the store's size, and so is every allocation.
//
// Threads: the stream table and the free list are guarded by one mutex, the
// cache of loaded blocks by another (taken in that order). The store itself
// has no lock, and a TessaryStream changes its stream's size without one: use
// a container and its streams from one thread at a time.
class Tessary {
public:
    // TessaryException codes.
    enum {
        ErrEmpty = 0,        // "Input stream appears to be empty."
        ErrNotTessary = 1,   // "Stream does not appear to be a valid Tessary format."
        ErrVersion = 2,      // "We can only handle version 1 for now."
        ErrWordSize = 3,     // "We can only handle 32-bit words at the moment."
        ErrNoStream = 4,     // "The requested stream doesn't exist and cannot be opened."
        ErrStreamExists = 5, // "There is already a stream with the given id."
        ErrInvalidId = 6,    // "Invalid stream id."
        ErrStreamZero = 7,   // "You cannot delete stream zero, it is protected."
        // "The container's stream table is damaged: " and what is wrong: a
        // header or table that contradicts itself or the store's size.
        ErrDamaged = 8,
    };

    // Smaller blocks cannot hold the table: from 17 bytes on, every block
    // index stream 0 gains lies in a block listed before it, so a reader can
    // follow the table through stream 0's own blocks.
    static constexpr int kMinBlockSize = 17;

    // The record of one container stream. aBlocks holds at least
    // divUp(iSize, block size) entries; it may hold more (preallocated
    // blocks, or blocks a shrinking stream keeps).
    struct Stream {
        int32_t iId = 0;
        int32_t iSize = 0;
        Array<int, 10> aBlocks;
    };

    // A loaded block, shared by every TessaryStream that holds it (iUsers);
    // one with no user is a changed block a write-back failed for.
    struct Block {
        explicit Block(int iBlockSize) : pData(new char[iBlockSize]) {}
        ~Block() { delete[] pData; }
        Block(const Block &) = delete;
        Block &operator=(const Block &) = delete;

        char *pData;
        bool bChanged = false;
        int32_t iBlockIndex = -1;
        int32_t iUsers = 0;
    };

    // Opens the container on rStore, or creates a new one (block size
    // iBlockSize, iPreallocate free blocks) when the store holds fewer than
    // 4 bytes. Opening replaces the block size by the stored one.
    Tessary(Ka::Stream &rStore, int iBlockSize, int iPreallocate);
    // Syncs, and reports on standard output (never throws) blocks still held
    // by streams and a failing sync.
    virtual ~Tessary();
    Tessary(const Tessary &) = delete;
    Tessary &operator=(const Tessary &) = delete;

    // Reads the header and table of the store anew, after writing back the
    // blocks changed so far. On failure the container holds no stream.
    void initialize();
    // Forgets every change not yet handed to the store (changed blocks and
    // the table in memory) and reads the table anew, as initialize() does
    // but without writing anything first: for a store whose owner has
    // dropped a change the container had made. Open streams are cut off.
    void reload();
    // Writes a new, empty container (block size of at least kMinBlockSize,
    // else ExceptionBase; a negative preallocation counts as 0) from the
    // start of the store; everything held in memory is discarded.
    void initialize(int iBlockSize, int iPreallocate);

    // Writes back every changed block, then the table when it changed
    // (writeHeader), so that the table never reaches the store ahead of the
    // blocks it lists. The store is not flushed.
    void sync();
    // Rewrites stream 0 when the table changed and the store can be written.
    void writeHeader();

    // A new stream with the id after the last one, size 0 and iPreallocate
    // blocks; returns its id.
    int createStream(int iPreallocate);
    // The same with a given id (code 5 when it exists, code 6 when negative).
    int createStreamWithId(int iId, int iPreallocate);
    // Frees the stream's blocks and forgets it; an unknown id does nothing.
    void deleteStream(int iId);
    // A stream positioned at 0; code 4 for an unknown id.
    TessaryStream openStream(int iId);

    bool hasStream(int iId);
    int getStreamSize(int iId);
    Array<int> getStreamIds();
    int getNumStreams();

    int getBlockSize();
    int getNumBlocks();
    int getNumUsedBlocks();
    // The sum of all stream sizes.
    int64_t getTotalUsedBytes();
    // Free blocks, plus the unused tail of every stream's last block, in
    // bytes, for the container's block size or an assumed one (ExceptionBase
    // when it is not positive). Blocks a stream holds past its size count as
    // used.
    int64_t getTotalUnusedBytes();
    int64_t getTotalUnusedBytes(int iAssumedBlockSize);
    // One bit per block, set unless the block is free.
    BitString getBlocksUsed();

    // True when the stream starts with the container's magic bytes; code 0
    // when it holds fewer than 4 bytes. The second form also gives the
    // version byte (-1 when there is none). Both leave the stream at 0.
    static bool isTessary(Ka::Stream &rStream);
    static bool isTessary(Ka::Stream &rStream, int &iVersion);

private:
    friend class TessaryStream;

    // Everything below is guarded by mHeader unless it says mActiveBlocks.
    Stream *findStream(int iId);
    // The table position of the first stream whose id is not below iId.
    int lowerBound(int iId);
    // Throws unless the stream can grow to iEnd bytes.
    void requireRoomFor(const Stream &rStream, int64_t iEnd);
    // A block for a stream that needs one more; counts it as used.
    int streamAddBlock(Stream &rStream);
    void setStreamSize(Stream &rStream, int iSize);
    void headerChanged() { bHeaderChanged = true; }
    int findEmptyBlock();
    // Throws unless iCount more blocks can be had.
    void requireRoom(int64_t iCount);
    // Gives stream 0 the blocks the table needs and sets its size; false
    // when the table is unchanged or the store cannot be written.
    bool prepareTable();
    // Writes the table through stream 0; prepareTable() came first.
    void writeTable();
    void readTable();
    // Cuts off open streams and reads the table in place of the one held.
    void rereadTable();
    void setBlockSize(int iNewBlockSize);
    void clearTable();
    Stream *addStream(int iId, int iPreallocate, int iAt);
    // Appends to a block list, reserving room geometrically.
    static void appendBlock(Stream &rStream, int iBlock);

    // Cache of loaded blocks; each takes mActiveBlocks.
    // The stream's current block is released and block iIndex loaded in its
    // place; bFresh: the stream's data does not reach into the block, whose
    // bytes then need not be read.
    void switchBlock(TessaryStream &rStream, int iIndex, bool bFresh);
    void openedStream(TessaryStream &rStream);
    // Releases the stream's block and forgets the stream; never throws.
    void closedStream(TessaryStream &rStream);
    // Takes the stream out of the open list and from the container (mActiveBlocks held).
    void unlinkStream(TessaryStream &rStream);
    // Cuts off the streams open on pStream (every stream when null) and
    // drops their blocks: callers have written back what must be kept.
    void detachStreams(Stream *pStream);

    // Callers hold mActiveBlocks.
    Block *getBlock(int iIndex, bool bFresh);
    void releaseBlock(Block *pBlock);
    void syncBlock(Block *pBlock);
    // Writes back the gathered blocks and every changed loaded block; frees
    // those no stream holds.
    void writeBackLocked();
    void stageBlock(Block *pBlock);
    void flushRun();
    void dropBlocks();
    void recycle(Block *pBlock);
    void writeStore(int64_t iPos, const char *pData, int iCount);
    int64_t queryStoreSize();

    Ka::Stream &rStore;
    int32_t iBlockSize = 0;
    int32_t iBlocks = 0;
    int32_t iUsed = 0;
    List<int> lFreeBlocks;
    Array<Stream *, 10> aStreams;
    Hash<int, Block *> hActiveBlocks;
    bool bHeaderChanged = false;
    Mutex mHeader;
    Mutex mActiveBlocks;

    // mActiveBlocks: the store's size as far as the container knows it, the
    // open streams, one spare block, and a run of consecutive released
    // blocks waiting to be written in one piece.
    int64_t iStoreSize = 0;
    TessaryStream *pFirstOpen = nullptr;
    Block *pSpare = nullptr;
    char *pRun = nullptr;
    int32_t iRunFirst = 0;
    int32_t iRunCount = 0;
    int32_t iRunCapacity = 0;
};

} // namespace Ka

#include "ka/tessarystream.h"
