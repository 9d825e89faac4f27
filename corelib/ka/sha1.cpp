// Ka::Sha1: the compression function, buffering and the final padding.
#include "ka/sha1.h"

#include "ka/bigendian.h"

#include <algorithm>
#include <cstring>

namespace Ka {

namespace {

inline uint32_t rol(uint32_t x, int n) {
    return x << n | x >> (32 - n);
}

} // namespace

const uint32_t Sha1::aInitial[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};

void Sha1::compress(uint32_t aState[5], const uint8_t *pBlocks, size_t nBlocks) {
    for (; nBlocks > 0; --nBlocks, pBlocks += kBlockSize) {
        // The message schedule is kept as a ring of 16 words.
        uint32_t w[16];
        for (int i = 0; i < 16; ++i)
            w[i] = loadBigEndian32(pBlocks + 4 * i);
        uint32_t a = aState[0], b = aState[1], c = aState[2], d = aState[3], e = aState[4];
        auto step = [&](int i, uint32_t f, uint32_t k) {
            uint32_t wi;
            if (i < 16) {
                wi = w[i];
            } else {
                wi = rol(w[(i + 13) & 15] ^ w[(i + 8) & 15] ^ w[(i + 2) & 15] ^ w[i & 15], 1);
                w[i & 15] = wi;
            }
            uint32_t t = rol(a, 5) + f + e + k + wi;
            e = d;
            d = c;
            c = rol(b, 30);
            b = a;
            a = t;
        };
        // Unrolled, the step number and the ring positions become constants.
#pragma GCC unroll 20
        for (int i = 0; i < 20; ++i)
            step(i, (b & c) | (~b & d), 0x5a827999);
#pragma GCC unroll 20
        for (int i = 20; i < 40; ++i)
            step(i, b ^ c ^ d, 0x6ed9eba1);
#pragma GCC unroll 20
        for (int i = 40; i < 60; ++i)
            step(i, (b & c) | (b & d) | (c & d), 0x8f1bbcdc);
#pragma GCC unroll 20
        for (int i = 60; i < 80; ++i)
            step(i, b ^ c ^ d, 0xca62c1d6);
        aState[0] += a;
        aState[1] += b;
        aState[2] += c;
        aState[3] += d;
        aState[4] += e;
    }
}

Sha1::Sha1() {
    reset();
}

void Sha1::reset() {
    std::memcpy(aH, aInitial, sizeof(aH));
    iFill = 0;
    iCount = 0;
}

void Sha1::addData(const void *pData, int iLength) {
    if (iLength < 1 || !pData)
        return;
    const uint8_t *p = static_cast<const uint8_t *>(pData);
    iCount += uint64_t(iLength);
    if (iFill > 0) {
        int n = std::min(iLength, kBlockSize - iFill);
        std::memcpy(aBlock + iFill, p, size_t(n));
        iFill += n;
        p += n;
        iLength -= n;
        if (iFill < kBlockSize)
            return;
        compress(aH, aBlock, 1);
        iFill = 0;
    }
    // Whole blocks are compressed where they lie, without a copy.
    size_t nWhole = size_t(iLength / kBlockSize);
    compress(aH, p, nWhole);
    p += nWhole * kBlockSize;
    iFill = iLength % kBlockSize;
    std::memcpy(aBlock, p, size_t(iFill));
}

String Sha1::getResult() {
    // Pad a copy, so that the running hash stays as it is.
    uint32_t aState[5];
    std::memcpy(aState, aH, sizeof(aState));
    uint8_t aLast[2 * kBlockSize] = {};
    std::memcpy(aLast, aBlock, size_t(iFill));
    aLast[iFill] = 0x80;
    // The bit length needs 8 bytes after the 0x80: a second block when the
    // first has fewer than 9 bytes left.
    size_t nBlocks = iFill < kBlockSize - 8 ? 1 : 2;
    uint64_t iBits = iCount * 8;
    for (int i = 0; i < 8; ++i)
        aLast[nBlocks * kBlockSize - 1 - i] = uint8_t(iBits >> (8 * i));
    compress(aState, aLast, nBlocks);

    String sResult(kDigestSize);
    uint8_t *pOut = reinterpret_cast<uint8_t *>(sResult.getStr());
    for (int i = 0; i < 5; ++i)
        storeBigEndian32(pOut + 4 * i, aState[i]);
    return sResult;
}

void Sha1::writeResult(Stream &rStream) {
    rStream.write(getResult());
}

} // namespace Ka
