// Ka::Cipher: the block machinery of the cipher filters: bytes gathered into
// blocks on the way down, whole blocks taken from below on the way up.
#pragma once

#include "ka/filter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace Ka {

// A filter that transforms the bytes passing through it in blocks of N
// bytes. Written bytes are collected into blocks; every complete block is
// enciphered and handed to the stream below before write returns. Reading
// takes whole blocks from below and deciphers them; a trailing partial block
// of the stream below is never returned. flush (and so stop and close) pads a
// pending partial block with zero bytes, so the enciphered stream is always a
// whole number of blocks and a reader gets up to N - 1 zero bytes after the
// data.
//
// A filter is meant for one direction: written through or read through.
// Subclasses supply encipher and decipher (one block in place); they may
// replace encipherBlocks and decipherBlocks, which transform many blocks in
// one call, to avoid a virtual call per block. Failures of the stream below
// pass through unchanged. Not thread-safe.
template <int N>
class Cipher : public Filter {
    static_assert(N > 0, "a cipher block holds at least one byte");

public:
    static constexpr int kBlockSize = N;

    explicit Cipher(Stream &rNext) : Filter(rNext) {}
    ~Cipher() override = default;

    using Stream::write;

    // Up to nBytes deciphered bytes; returns early (with what it has) when
    // the stream below has nothing more, keeping a partial block for later.
    int read(void *pBuf, int nBytes) override;
    // Takes all nBytes and returns nBytes; 0 for a null buffer or a count
    // below 1.
    int write(const void *pBuf, int nBytes) override;
    // Pads and writes a pending partial block, then flushes the stream below.
    void flush() override;
    void start() override {}
    // Flushes; always returns 0.
    int stop() override {
        flush();
        return 0;
    }

    // One block of N bytes, transformed in place.
    virtual void encipher(uint8_t *pBlock) = 0;
    virtual void decipher(uint8_t *pBlock) = 0;

protected:
    // nBlocks consecutive blocks from pIn to pOut; pIn may equal pOut. The
    // results equal encipher (decipher) applied to one block after another.
    virtual void encipherBlocks(const uint8_t *pIn, uint8_t *pOut, int nBlocks);
    virtual void decipherBlocks(const uint8_t *pIn, uint8_t *pOut, int nBlocks);

    // The block last read from below; deciphered in place once complete.
    uint8_t aReadBlock[N] = {};
    // Plain bytes collected for the next block to encipher.
    uint8_t aWriteBlock[N] = {};
    int32_t iReadFill = 0;
    int32_t iReadPos = 0;
    int32_t iWriteFill = 0;

private:
    // Whole blocks are enciphered through a buffer of this size on the stack,
    // so that the stream below sees few, large writes.
    static constexpr int kBatchBytes = 8192 / N * N;
};

template <int N>
void Cipher<N>::encipherBlocks(const uint8_t *pIn, uint8_t *pOut, int nBlocks) {
    for (int i = 0; i < nBlocks; ++i, pIn += N, pOut += N) {
        if (pOut != pIn)
            std::memcpy(pOut, pIn, N);
        encipher(pOut);
    }
}

template <int N>
void Cipher<N>::decipherBlocks(const uint8_t *pIn, uint8_t *pOut, int nBlocks) {
    for (int i = 0; i < nBlocks; ++i, pIn += N, pOut += N) {
        if (pOut != pIn)
            std::memcpy(pOut, pIn, N);
        decipher(pOut);
    }
}

template <int N>
int Cipher<N>::read(void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf)
        return 0;
    uint8_t *pOut = static_cast<uint8_t *>(pBuf);
    int nDone = 0;
    while (nDone < nBytes) {
        if (iReadFill == 0 && nBytes - nDone >= N) {
            // Whole blocks go straight into the caller's buffer and are
            // deciphered there; this takes from below exactly what the block
            // by block way would take.
            int nWant = (nBytes - nDone) / N * N;
            int nGot = std::min(rNext.read(pOut + nDone, nWant), nWant);
            if (nGot < 1)
                return nDone;
            int nWhole = nGot / N * N;
            decipherBlocks(pOut + nDone, pOut + nDone, nWhole / N);
            nDone += nWhole;
            // A short read may end inside a block: keep its start for later.
            iReadFill = nGot - nWhole;
            std::memcpy(aReadBlock, pOut + nDone, size_t(iReadFill));
            continue;
        }
        while (iReadFill < N) {
            int nWant = N - iReadFill;
            int nGot = std::min(rNext.read(aReadBlock + iReadFill, nWant), nWant);
            if (nGot < 1)
                return nDone;
            iReadFill += nGot;
            if (iReadFill == N)
                decipher(aReadBlock);
        }
        int nCopy = std::min(nBytes - nDone, N - iReadPos);
        std::memcpy(pOut + nDone, aReadBlock + iReadPos, size_t(nCopy));
        nDone += nCopy;
        iReadPos += nCopy;
        if (iReadPos == N)
            iReadFill = iReadPos = 0;
    }
    return nDone;
}

template <int N>
int Cipher<N>::write(const void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf)
        return 0;
    const uint8_t *pIn = static_cast<const uint8_t *>(pBuf);
    int nLeft = nBytes;
    if (iWriteFill > 0) {
        int nCopy = std::min(N - iWriteFill, nLeft);
        std::memcpy(aWriteBlock + iWriteFill, pIn, size_t(nCopy));
        iWriteFill += nCopy;
        pIn += nCopy;
        nLeft -= nCopy;
        if (iWriteFill < N)
            return nBytes;
        encipher(aWriteBlock);
        iWriteFill = 0;
        rNext.write(aWriteBlock, N);
    }
    if (nLeft >= N) {
        alignas(16) uint8_t aBatch[kBatchBytes];
        while (nLeft >= N) {
            int nChunk = std::min(nLeft / N * N, kBatchBytes);
            encipherBlocks(pIn, aBatch, nChunk / N);
            pIn += nChunk;
            nLeft -= nChunk;
            rNext.write(aBatch, nChunk);
        }
    }
    std::memcpy(aWriteBlock, pIn, size_t(nLeft));
    iWriteFill = nLeft;
    return nBytes;
}

template <int N>
void Cipher<N>::flush() {
    if (iWriteFill > 0) {
        std::memset(aWriteBlock + iWriteFill, 0, size_t(N - iWriteFill));
        encipher(aWriteBlock);
        iWriteFill = 0;
        rNext.write(aWriteBlock, N);
    }
    rNext.flush();
}

} // namespace Ka
