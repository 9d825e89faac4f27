// Ka::Blowfish: the Blowfish block cipher (64-bit block, 16 rounds), on its
// own (BlowfishCore) and as a block filter over Ka::Cipher<8>.
#pragma once

#include "ka/bigendian.h"
#include "ka/cipher.h"
#include "ka/string.h"

#include <cstdint>

namespace Ka {

// The Blowfish algorithm without any stream: the subkey array P, the four
// S-boxes, the key schedule and the block functions. A block is two 32-bit
// halves, read big-endian from its 8 bytes.
//
// A new object holds the initial tables (the schedule of the empty key), so
// that a cipher used before setKey is at least deterministic; the destructor
// overwrites the tables with the initial ones, so that no key schedule stays
// behind in freed memory. Not thread-safe while keying;
// the const block functions may run concurrently on a keyed object.
class BlowfishCore {
public:
    BlowfishCore() { reset(); }
    BlowfishCore(const BlowfishCore &) = delete;
    BlowfishCore &operator=(const BlowfishCore &) = delete;
    ~BlowfishCore();

    // Loads the initial tables and runs the key schedule. Any length is
    // taken: an empty key (or a count below 1, or a null pointer) leaves the
    // initial tables; the key bytes cycle over the 72 bytes of P, so bytes
    // after the 72nd have no effect.
    void setKey(const void *pKey, int nBytes);
    // The initial tables (the schedule of the empty key).
    void reset();

    // One block as its two halves.
    void encrypt(uint32_t &rL, uint32_t &rR) const {
        uint32_t aL[1] = {rL}, aR[1] = {rR};
        encrypt(aL, aR);
        rL = aL[0];
        rR = aR[0];
    }
    void decrypt(uint32_t &rL, uint32_t &rR) const;

    // K independent blocks as halves, interleaved round by round so that
    // their table look-ups overlap instead of waiting on one another.
    template <int K>
    void encrypt(uint32_t (&aL)[K], uint32_t (&aR)[K]) const {
        for (int i = 0; i < 16; i += 2) {
            for (int k = 0; k < K; ++k)
                aL[k] ^= aP[i];
            for (int k = 0; k < K; ++k)
                aR[k] ^= f(aL[k]) ^ aP[i + 1];
            for (int k = 0; k < K; ++k)
                aL[k] ^= f(aR[k]);
        }
        for (int k = 0; k < K; ++k) {
            uint32_t l = aL[k];
            aL[k] = aR[k] ^ aP[17];
            aR[k] = l ^ aP[16];
        }
    }

    // One 8-byte block in place.
    void encryptBlock(uint8_t *pBlock) const {
        uint32_t l = loadBigEndian32(pBlock), r = loadBigEndian32(pBlock + 4);
        encrypt(l, r);
        storeBigEndian32(pBlock, l);
        storeBigEndian32(pBlock + 4, r);
    }
    void decryptBlock(uint8_t *pBlock) const {
        uint32_t l = loadBigEndian32(pBlock), r = loadBigEndian32(pBlock + 4);
        decrypt(l, r);
        storeBigEndian32(pBlock, l);
        storeBigEndian32(pBlock + 4, r);
    }

    // The current tables: 18 words of P; 256 words of S-box iBox (0 to 3).
    const uint32_t *getP() const { return aP; }
    const uint32_t *getS(int iBox) const { return aS[iBox & 3]; }

    // The published initial tables: the fractional hexadecimal digits of pi,
    // P first, then S0 to S3.
    static const uint32_t aInitialP[18];
    static const uint32_t aInitialS[4][256];

private:
    uint32_t f(uint32_t x) const {
        return ((aS[0][x >> 24] + aS[1][(x >> 16) & 0xff]) ^ aS[2][(x >> 8) & 0xff]) +
               aS[3][x & 0xff];
    }

    uint32_t aP[18];
    uint32_t aS[4][256];
};

// The Blowfish block filter: Ka::Cipher<8> with the Blowfish tables, the key
// schedule and single-block encryption (encipher) and decryption (decipher),
// i.e. electronic-codebook order. The parameter names the variant; only
// Blowfish<1>, the published algorithm, exists. Used as the base of
// Ka::CipherModeCfb, which is what callers instantiate.
//
// setKey must run before the first byte passes. The destructor first pads
// and writes a pending partial block and flushes the stream below (which
// must therefore still exist), swallowing any failure there: a caller that
// wants to see write errors closes or flushes the filter before destroying
// it. Then it resets the tables to their initial values. Not thread-safe.
template <int N>
class Blowfish : public Cipher<8> {
public:
    explicit Blowfish(Stream &rNext) : Cipher<8>(rNext) {}
    ~Blowfish() override;

    // The key as raw bytes, any length (see BlowfishCore::setKey).
    void setKey(const String &sKey);

    void encipher(uint8_t *pBlock) override { core.encryptBlock(pBlock); }
    void decipher(uint8_t *pBlock) override { core.decryptBlock(pBlock); }

    // Encryption of K independent blocks given as big-endian halves, without
    // virtual dispatch: the feedback mode's loops run on this.
    template <int K>
    void encryptHalves(uint32_t (&aL)[K], uint32_t (&aR)[K]) const {
        core.encrypt(aL, aR);
    }

protected:
    BlowfishCore core;
};

extern template class Blowfish<1>;

} // namespace Ka
