// Ka::BitString: bit access, resizing, shifting and conversions.
#include "ka/bitstring.h"

#include "ka/exception.h"
#include "ka/random.h"

#include <cstring>
#include <utility>

namespace Ka {

BitString::BitString() = default;

BitString::BitString(int iBits, bool bRandomise) {
    allocate(iBits);
    if (bRandomise)
        randomise();
    else
        clear();
}

BitString::BitString(const BitString &other) {
    allocate(other.bitCount);
    if (byteCount > 0)
        std::memcpy(data, other.data, size_t(byteCount));
}

BitString &BitString::operator=(const BitString &other) {
    if (this != &other) {
        BitString copy(other);
        swapWith(copy);
    }
    return *this;
}

void BitString::swapWith(BitString &other) {
    std::swap(data, other.data);
    std::swap(bitCount, other.bitCount);
    std::swap(byteCount, other.byteCount);
    std::swap(topMask, other.topMask);
}

uint8_t BitString::maskFor(int iBits) {
    return (iBits % 8) != 0 ? uint8_t((1u << (iBits % 8)) - 1) : uint8_t(0xFF);
}

BitString::~BitString() {
    delete[] data;
}

void BitString::allocate(int iBits) {
    if (iBits < 0)
        iBits = 0;
    // In 64 bits: (INT_MAX + 7) would overflow.
    int32_t iBytes = int32_t((int64_t(iBits) + 7) / 8);
    uint8_t *pNew = iBytes > 0 ? new uint8_t[size_t(iBytes)] : nullptr;
    delete[] data;
    data = pNew;
    bitCount = iBits;
    byteCount = iBytes;
    topMask = maskFor(iBits);
}

void BitString::mask() {
    if (byteCount > 0)
        data[byteCount - 1] &= topMask;
}

void BitString::throwOutOfRange(int iBit) const {
    throw ExceptionBase("bit out of range: %d in (0-%d)", iBit, bitCount);
}

void BitString::setBit(int iBit, bool bValue) {
    if (iBit < 0 || iBit >= bitCount)
        throwOutOfRange(iBit);
    uint8_t iMask = uint8_t(1u << (iBit % 8));
    if (bValue)
        data[iBit / 8] |= iMask;
    else
        data[iBit / 8] &= uint8_t(~iMask);
}

bool BitString::getBit(int iBit) const {
    if (iBit < 0 || iBit >= bitCount)
        return false;
    return (data[iBit / 8] >> (iBit % 8)) & 1;
}

void BitString::flipBit(int iBit) {
    if (iBit < 0 || iBit >= bitCount)
        throwOutOfRange(iBit);
    data[iBit / 8] ^= uint8_t(1u << (iBit % 8));
}

void BitString::clear() {
    if (byteCount > 0)
        std::memset(data, 0, size_t(byteCount));
}

void BitString::setSize(int iBits, bool bClear) {
    if (iBits < 0)
        iBits = 0;
    int32_t iOldBytes = byteCount;
    int32_t iNewBytes = int32_t((int64_t(iBits) + 7) / 8);
    if (iNewBytes != iOldBytes) {
        BitString grown(iBits);
        if (!bClear && iOldBytes > 0 && iNewBytes > 0)
            std::memcpy(grown.data, data, size_t(iOldBytes < iNewBytes ? iOldBytes : iNewBytes));
        swapWith(grown);
    } else {
        bitCount = iBits;
        topMask = maskFor(iBits);
        if (bClear)
            clear();
    }
    // A shrink keeps bytes whose high bits now lie beyond the end.
    mask();
}

void BitString::randomise() {
    for (int32_t i = 0; i < byteCount; ++i)
        data[i] = uint8_t(Random::rand());
    mask();
}

void BitString::invert() {
    for (int32_t i = 0; i < byteCount; ++i)
        data[i] = uint8_t(~data[i]);
    mask();
}

BitString BitString::operator~() const {
    BitString copy(*this);
    copy.invert();
    return copy;
}

void BitString::shiftLeft(int n) {
    if (n >= 0)
        shiftUp(n);
    else
        shiftDown(-int64_t(n));
}

void BitString::shiftRight(int n) {
    if (n >= 0)
        shiftDown(n);
    else
        shiftUp(-int64_t(n));
}

void BitString::shiftUp(int64_t n) {
    if (n >= int64_t(byteCount) * 8) {
        clear();
        return;
    }
    int32_t k = int32_t(n / 8), r = int32_t(n % 8);
    // From the top down, so that every byte read has not been written yet.
    for (int32_t j = byteCount - 1; j >= 0; --j) {
        unsigned iHigh = j - k >= 0 ? data[j - k] : 0;
        unsigned iLow = j - k - 1 >= 0 ? data[j - k - 1] : 0;
        data[j] = uint8_t((iHigh << r) | (r != 0 ? iLow >> (8 - r) : 0));
    }
    mask();
}

void BitString::shiftDown(int64_t n) {
    if (n >= int64_t(byteCount) * 8) {
        clear();
        return;
    }
    int32_t k = int32_t(n / 8), r = int32_t(n % 8);
    // From the bottom up; the last byte's unused bits are 0, so only zeros
    // come in from beyond the end.
    for (int32_t j = 0; j < byteCount; ++j) {
        unsigned iLow = j + k < byteCount ? data[j + k] : 0;
        unsigned iHigh = j + k + 1 < byteCount ? data[j + k + 1] : 0;
        data[j] = uint8_t((iLow >> r) | (r != 0 ? iHigh << (8 - r) : 0));
    }
    mask();
}

BitString BitString::getSubString(int iStart, int iEnd) const {
    if (iStart < 0)
        iStart = 0;
    if (iEnd > bitCount - 1)
        iEnd = bitCount - 1;
    if (iEnd < iStart)
        return BitString();
    BitString sub(iEnd - iStart + 1);
    for (int i = iStart; i <= iEnd; ++i)
        if (getBit(i))
            sub.data[(i - iStart) / 8] |= uint8_t(1u << ((i - iStart) % 8));
    return sub;
}

uint32_t BitString::toLong(int iStart, int iBits) const {
    if (iBits < 1)
        iBits = 1;
    if (iBits > 32)
        iBits = 32;
    if (iStart < 0 || int64_t(iStart) + iBits > bitCount)
        return 0;
    uint32_t iValue = 0;
    for (int i = 0; i < iBits; ++i)
        if (getBit(iStart + i))
            iValue |= uint32_t(1) << i;
    return iValue;
}

int BitString::getHighestOrderBitPos() const {
    for (int32_t j = byteCount - 1; j >= 0; --j) {
        if (data[j] == 0)
            continue;
        int iPos = 7;
        while (!((data[j] >> iPos) & 1))
            --iPos;
        return j * 8 + iPos;
    }
    return -1;
}

String BitString::toString() const {
    String s(bitCount);
    char *p = s.getStr();
    for (int i = 0; i < bitCount; ++i)
        p[i] = getBit(bitCount - 1 - i) ? '1' : '0';
    return s;
}

} // namespace Ka
