// Ka::CipherModeCfb: cipher feedback with an N-byte segment over a block
// cipher filter (used as CipherModeCfb<8, Blowfish<1>>).
#pragma once

#include "ka/bigendian.h"
#include "ka/cipher.h"

#include <cstdint>
#include <cstring>

namespace Ka {

// Cipher feedback mode with a full-block segment: each plaintext block is
// XORed with the encryption of the feedback vector V, and V takes the
// ciphertext block; both directions use only the encryption direction of
// the block cipher C, which must be a Ka::Cipher<N>.
//
// Use: construct over the next stream (not owned; it must outlive the
// filter), set the key, copy the N-byte initial vector into V, then either
// write and close (or flush), or read; never both on one filter. The
// destructor pads and writes a pending partial block under these rules and
// flushes the stream below, swallowing any failure there; close or flush
// first to see write errors. Not thread-safe.
template <int N, class C>
class CipherModeCfb : public C {
public:
    explicit CipherModeCfb(Stream &rNext) : C(rNext) {}
    ~CipherModeCfb() override;

    // One block in place: encryption (used by write) and decryption (used by
    // read), each advancing V.
    void encipher(uint8_t *pBlock) override;
    void decipher(uint8_t *pBlock) override;

    // The feedback vector; the owner copies the initial vector into it.
    uint8_t V[N] = {};

protected:
    void encipherBlocks(const uint8_t *pIn, uint8_t *pOut, int nBlocks) override;
    void decipherBlocks(const uint8_t *pIn, uint8_t *pOut, int nBlocks) override;

private:
    // Ciphers of a 64-bit block that encrypt blocks given as two big-endian
    // halves (encryptHalves, several blocks at once) get loops that keep V in
    // registers; any other cipher goes block by block through its encipher.
    static constexpr bool kHalves = N == 8 && requires(const C &c, uint32_t (&a)[1]) {
        c.template encryptHalves<1>(a, a);
    };

    // The block cipher's encryption of V in place, called without virtual
    // dispatch so that it is inlined into the loops.
    void encryptV() { C::encipher(V); }
};

template <int N, class C>
CipherModeCfb<N, C>::~CipherModeCfb() {
    // Flush here, not only in the base's destructor: by the time the base's
    // destructor runs, encipher no longer dispatches to the feedback rules
    // and a pending block would be written enciphered the wrong way.
    try {
        Cipher<N>::flush();
    } catch (...) {
    }
}

template <int N, class C>
void CipherModeCfb<N, C>::encipher(uint8_t *pBlock) {
    encryptV();
    for (int i = 0; i < N; ++i)
        V[i] = pBlock[i] ^= V[i];
}

template <int N, class C>
void CipherModeCfb<N, C>::decipher(uint8_t *pBlock) {
    uint8_t aCipher[N];
    std::memcpy(aCipher, pBlock, N);
    encryptV();
    for (int i = 0; i < N; ++i)
        pBlock[i] ^= V[i];
    std::memcpy(V, aCipher, N);
}

template <int N, class C>
void CipherModeCfb<N, C>::encipherBlocks(const uint8_t *pIn, uint8_t *pOut, int nBlocks) {
    if constexpr (kHalves) {
        // Each block's encryption waits for the one before, so the chain is
        // what costs: V stays in registers, in the cipher's own word order.
        uint32_t aL[1] = {loadBigEndian32(V)}, aR[1] = {loadBigEndian32(V + 4)};
        for (int b = 0; b < nBlocks; ++b, pIn += 8, pOut += 8) {
            C::encryptHalves(aL, aR);
            aL[0] ^= loadBigEndian32(pIn);
            aR[0] ^= loadBigEndian32(pIn + 4);
            storeBigEndian32(pOut, aL[0]);
            storeBigEndian32(pOut + 4, aR[0]);
        }
        storeBigEndian32(V, aL[0]);
        storeBigEndian32(V + 4, aR[0]);
    } else {
        for (int b = 0; b < nBlocks; ++b, pIn += N, pOut += N) {
            encryptV();
            for (int i = 0; i < N; ++i)
                V[i] = pOut[i] = pIn[i] ^ V[i];
        }
    }
}

template <int N, class C>
void CipherModeCfb<N, C>::decipherBlocks(const uint8_t *pIn, uint8_t *pOut, int nBlocks) {
    if constexpr (kHalves) {
        // The key stream of block i is the encryption of ciphertext block
        // i - 1, all known in advance: encrypt several blocks side by side.
        constexpr int K = 8;
        uint32_t iVL = loadBigEndian32(V), iVR = loadBigEndian32(V + 4);
        int b = 0;
        for (; b + K <= nBlocks; b += K, pIn += 8 * K, pOut += 8 * K) {
            uint32_t aCL[K], aCR[K], aL[K], aR[K];
            for (int k = 0; k < K; ++k) {
                aCL[k] = loadBigEndian32(pIn + 8 * k);
                aCR[k] = loadBigEndian32(pIn + 8 * k + 4);
            }
            aL[0] = iVL;
            aR[0] = iVR;
            for (int k = 1; k < K; ++k) {
                aL[k] = aCL[k - 1];
                aR[k] = aCR[k - 1];
            }
            C::encryptHalves(aL, aR);
            for (int k = 0; k < K; ++k) {
                storeBigEndian32(pOut + 8 * k, aL[k] ^ aCL[k]);
                storeBigEndian32(pOut + 8 * k + 4, aR[k] ^ aCR[k]);
            }
            iVL = aCL[K - 1];
            iVR = aCR[K - 1];
        }
        for (; b < nBlocks; ++b, pIn += 8, pOut += 8) {
            uint32_t aL[1] = {iVL}, aR[1] = {iVR};
            iVL = loadBigEndian32(pIn);
            iVR = loadBigEndian32(pIn + 4);
            C::encryptHalves(aL, aR);
            storeBigEndian32(pOut, aL[0] ^ iVL);
            storeBigEndian32(pOut + 4, aR[0] ^ iVR);
        }
        storeBigEndian32(V, iVL);
        storeBigEndian32(V + 4, iVR);
    } else {
        for (int b = 0; b < nBlocks; ++b, pIn += N, pOut += N) {
            uint8_t aCipher[N];
            std::memcpy(aCipher, pIn, N);
            encryptV();
            for (int i = 0; i < N; ++i)
                pOut[i] = aCipher[i] ^ V[i];
            std::memcpy(V, aCipher, N);
        }
    }
}

} // namespace Ka
