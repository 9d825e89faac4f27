// Ka::BitString: a fixed-length bit vector, the container file's map of used blocks.
#pragma once

#include "ka/string.h"

#include <cstdint>

namespace Ka {

// Bit n lives in byte n / 8 at position n % 8, least significant bit first.
// The unused high bits of the last byte are always 0.
//
// Safe for any argument: no operation reads or writes outside its bytes.
// Bit numbers outside 0 to getSize()-1 make setBit() and flipBit() throw
// ExceptionBase "bit out of range: %d in (0-%d)" and getBit() return false;
// negative sizes count as 0; ranges of getSubString() are clipped to the
// string and toLong() gives 0 for a range that does not fit. Memory is about
// one byte per 8 bits asked for.
//
// A value type with deep copies; not locked.
class BitString {
public:
    BitString();
    // iBits bits, from Ka::Random (low 8 bits of one draw per byte) when
    // bRandomise, else all 0.
    explicit BitString(int iBits, bool bRandomise = false);
    BitString(const BitString &other);
    BitString &operator=(const BitString &other);
    virtual ~BitString();

    void setBit(int iBit, bool bValue);
    bool getBit(int iBit) const;
    void flipBit(int iBit);
    int getSize() const { return bitCount; }

    // All bits 0.
    void clear();
    // New size. With bClear all bits become 0; otherwise the bits below both
    // the old and the new size are kept and any new bits are 0.
    void setSize(int iBits, bool bClear);
    void randomise();
    void invert();
    BitString operator~() const;

    // Move every bit n places towards higher (left) or lower (right) bit
    // numbers; bits moved past either end are lost and zeros come in. A
    // negative n shifts the other way.
    void shiftLeft(int n);
    void shiftRight(int n);

    // The bits iStart to iEnd inclusive as a new string, bit iStart becoming
    // bit 0. The range is clipped to the string; an empty range gives an
    // empty string.
    BitString getSubString(int iStart, int iEnd) const;
    // iBits bits (clamped to 1..32) from iStart, bit iStart as the lowest
    // bit of the result; 0 when iStart is negative or the range passes the end.
    uint32_t toLong(int iStart, int iBits) const;
    // The number of the highest bit set, or -1 when none is.
    int getHighestOrderBitPos() const;
    // '1' and '0' characters, the highest bit first.
    String toString() const;

private:
    // Allocates for iBits bits (negative counts as 0), contents undefined.
    void allocate(int iBits);
    void swapWith(BitString &other);
    static uint8_t maskFor(int iBits);
    // Clears the unused bits of the last byte.
    void mask();
    void shiftUp(int64_t n);
    void shiftDown(int64_t n);
    [[noreturn]] void throwOutOfRange(int iBit) const;

    uint8_t *data = nullptr;
    int32_t bitCount = 0;
    int32_t byteCount = 0;
    uint8_t topMask = 0xFF;
};

} // namespace Ka
