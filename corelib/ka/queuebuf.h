// Ka::QueueBuf: a first-in first-out byte queue made of fixed-size blocks,
// with a look-ahead.
#pragma once

#include "ka/list.h"
#include "ka/stream.h"

#include <cstdint>

namespace Ka {

// Bytes written are read back in the same order. The queued bytes run from
// iReadOffset in the first block to iWriteOffset in the last; iTotalSize
// counts them. A fully read block is freed only when a later read, skip or
// close moves past it.
//
// The queue owns its blocks. It is not seekable: seek(n) skips n bytes, and
// tell() is -1. It never reads or writes outside its blocks or the caller's
// buffer, whatever the arguments; counts below 1 and null buffers do
// nothing. Never throws except when memory runs out. Not thread-safe.
class QueueBuf : public Stream {
public:
    // iBlockSize: bytes per block, fixed for the queue's life (below 1
    // counts as 1).
    explicit QueueBuf(int iBlockSize);
    ~QueueBuf() override;

    using Stream::write;

    // Frees every block and empties the queue.
    void close() override;
    // Takes and returns up to nBytes from the front of the queue.
    int read(void *pBuf, int nBytes) override;
    // Appends all nBytes; returns nBytes (less only when the queue would
    // hold more than the 32-bit count can say).
    int write(const void *pBuf, int nBytes) override;
    int tell() override { return -1; }
    // Drops iCount bytes from the front, as if read.
    void seek(int iCount) override;
    void setPos(int) override {}
    void setPosEnd(int) override {}
    bool isEos() override { return iTotalSize == 0; }
    bool isOpen() override { return true; }
    void flush() override {}
    bool canRead() override { return iTotalSize > 0; }
    bool canWrite() override { return true; }
    bool isReadable() override { return true; }
    bool isWritable() override { return true; }
    bool isSeekable() override { return false; }
    bool isBlocking() override { return false; }
    void setBlocking(bool) override {}
    void setSize(int) override {}
    int getSize() override { return iTotalSize; }
    int getBlockSize() override { return iBlockSize; }
    String getLocation() override { return String(); }

    // Copies up to nBytes from the front of the queue without taking them.
    virtual int peek(void *pBuf, int nBytes);
    // The same, starting iSkip bytes into the queue; never returns more
    // than the bytes queued after the skipped ones (a negative skip gives 0).
    virtual int peek(void *pBuf, int nBytes, int iSkip);

private:
    char *newBlock();
    void freeFirstBlock();

    int32_t iBlockSize;
    int32_t iReadOffset = 0;
    int32_t iWriteOffset = 0;
    int32_t iTotalSize = 0;
    // Oldest first.
    List<char *> lBlocks;
};

} // namespace Ka
