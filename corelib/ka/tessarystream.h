// Ka::TessaryStream: one stream of a Ka::Tessary container as a Ka::Stream.
#pragma once

#include "ka/stream.h"
#include "ka/tessary.h"

namespace Ka {

// Made by Tessary::openStream(). Keeps one block of its stream loaded and
// moves to another only when the position crosses into it, so sequential
// access touches every block once.
//
// Positioning never clamps. Reading at or past the end gives 0 bytes;
// writing past the end first fills the gap with zero bytes, so size and
// blocks always agree. Reading or writing at a negative position, or past
// 2^31 - 1, throws ExceptionBase and changes nothing. Rewriting from 0 with
// fewer bytes keeps the old size and bytes after them: setSize(0) first to
// replace the contents.
//
// A stream must not outlive its container or its container stream; if it
// does, it is cut off and its reads, writes and size queries throw
// TessaryException code 4. Used by one thread at a time. Not copyable.
class TessaryStream : public Stream {
public:
    // Opens rStream's record of rTessary at position 0, no block loaded.
    TessaryStream(Tessary &rTessary, Tessary::Stream *pStream);
    // Releases the current block, writing it back when changed; never
    // throws (a block that cannot be written now is kept by the container
    // and written at its next sync).
    ~TessaryStream() override;

    using Stream::write;

    void close() override {}
    int read(void *pBuf, int nBytes) override;
    int write(const void *pBuf, int nBytes) override;
    int tell() override { return iPos; }
    // Positions beyond 32 bits saturate.
    void seek(int iOffset) override;
    void setPos(int iNewPos) override { iPos = iNewPos; }
    void setPosEnd(int iPos) override;
    bool isEos() override { return iPos >= getSize(); }
    bool isOpen() override { return true; }
    void flush() override {}
    bool canRead() override { return true; }
    bool canWrite() override { return true; }
    bool isReadable() override { return true; }
    bool isWritable() override { return true; }
    bool isSeekable() override { return true; }
    bool isBlocking() override { return true; }
    void setBlocking(bool) override {}
    // Grows or shrinks the stream (a negative size counts as 0); bytes a
    // growth exposes are whatever the blocks held. A position past the new
    // end moves to it.
    void setSize(int iSize) override;
    int getSize() override;
    int getBlockSize() override;
    // The stream id in decimal.
    String getLocation() override;

private:
    friend class Tessary;

    Tessary::Stream &record();
    // Writes from the current position, which lies within the stream or at
    // its end.
    void writeHere(const char *pData, int nBytes);

    Tessary *pTessary;
    Tessary::Stream *pStream;
    Tessary::Block *pCurBlock = nullptr;
    int32_t iPos = 0;
    // The container's list of open streams.
    TessaryStream *pPrevOpen = nullptr;
    TessaryStream *pNextOpen = nullptr;
};

} // namespace Ka
