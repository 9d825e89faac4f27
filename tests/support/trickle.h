// Test streams for filters: one that hands out its bytes in small pieces with
// empty reads in between, and one that stops taking bytes after a limit.
#pragma once

#include "ka/membuf.h"

namespace support {

// Reads at most iPiece bytes at a time and answers every other read with 0
// although the data has not ended, as a non-blocking source does when
// nothing has arrived yet.
class TrickleStream : public Ka::MemBuf {
public:
    explicit TrickleStream(const Ka::String &sData, int iPiece = 1)
        : Ka::MemBuf(sData), iPiece(iPiece) {}

    int read(void *pBuf, int nBytes) override;
    bool isSeekable() override { return false; }

private:
    int iPiece;
    bool bEmpty = false;
};

// Takes iLimit bytes, then refuses: it throws Ka::FileException (a full
// disk) or, with bThrow false, takes nothing and returns 0.
class FullStream : public Ka::MemBuf {
public:
    explicit FullStream(int iLimit, bool bThrow = true) : iLimit(iLimit), bThrow(bThrow) {}

    using Ka::MemBuf::write;
    int write(const void *pBuf, int nBytes) override;

private:
    int iLimit;
    bool bThrow;
};

} // namespace support
