// Ka::Sha1: the SHA-1 message digest (20 bytes), fed incrementally.
#pragma once

#include "ka/cryptohash.h"

#include <cstddef>
#include <cstdint>

namespace Ka {

// SHA-1 as a Ka::CryptoHash. getResult does not disturb the running hash:
// asked twice it gives the same digest, and more data may follow it. The
// message length is counted in 64 bits, so any length fits. Not
// thread-safe; copies are independent.
class Sha1 : public CryptoHash {
public:
    Sha1();
    ~Sha1() override = default;

    using CryptoHash::addData;

    void reset() override;
    // SHA-1 takes no salt: does nothing.
    void setSalt(const String &) override {}
    void addData(const void *pData, int iLength) override;
    // The 20 digest bytes: the five chaining words, each big-endian.
    String getResult() override;
    void writeResult(Stream &rStream) override;

    static constexpr int kDigestSize = 20;
    static constexpr int kBlockSize = 64;
    // The chaining words of the empty message.
    static const uint32_t aInitial[5];
    // The compression function: folds nBlocks consecutive 64-byte blocks
    // into the chaining words.
    static void compress(uint32_t aState[5], const uint8_t *pBlocks, size_t nBlocks);

private:
    uint32_t aH[5];
    // Bytes of the current block not yet compressed (0 to 63 between calls).
    uint8_t aBlock[kBlockSize];
    int32_t iFill;
    uint64_t iCount;
};

} // namespace Ka
