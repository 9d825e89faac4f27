// Big-endian loads and stores of 32-bit words, as block ciphers and digests
// read and write their blocks.
#pragma once

#include <cstdint>

namespace Ka {

// The 4 bytes at p, most significant first; p needs no alignment.
inline uint32_t loadBigEndian32(const uint8_t *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

inline void storeBigEndian32(uint8_t *p, uint32_t x) {
    p[0] = uint8_t(x >> 24);
    p[1] = uint8_t(x >> 16);
    p[2] = uint8_t(x >> 8);
    p[3] = uint8_t(x);
}

} // namespace Ka
