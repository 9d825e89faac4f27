// Ka::ArchiveBase: the byte layout of each value, and the string and
// identifier operators.
#include "ka/archivebase.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <limits>

namespace Ka {

namespace {

// The long double slot holds the x87 extended value: 64-bit significand with
// an explicit integer bit, 15-bit exponent and sign, in the first 10 bytes.
static_assert(std::numeric_limits<long double>::digits == 64 && sizeof(long double) >= 10,
              "long double must be the x87 80-bit format");
constexpr int kLongDoubleBytes = 10;
constexpr int kLongDoubleSlot = 12;

// A string is read in pieces that start at this size and then double with
// what has arrived, so a length the data does not back costs at most this
// much memory beyond the bytes received.
constexpr int32_t kFirstStringPiece = 64 * 1024;

[[noreturn]] void throwOutOfRange() {
    throw ExceptionBase("Value out of range for a 32-bit archive field.");
}

} // namespace

template <typename U>
void ArchiveBase::putLE(U iValue) {
    unsigned char aBytes[sizeof(U)];
    for (size_t i = 0; i < sizeof(U); ++i)
        aBytes[i] = static_cast<unsigned char>(iValue >> (8 * i));
    write(aBytes, int(sizeof(U)));
}

template <typename U>
U ArchiveBase::getLE() {
    unsigned char aBytes[sizeof(U)];
    read(aBytes, int(sizeof(U)));
    U iValue = 0;
    for (size_t i = 0; i < sizeof(U); ++i)
        iValue |= static_cast<U>(static_cast<U>(aBytes[i]) << (8 * i));
    return iValue;
}

ArchiveBase &ArchiveBase::operator<<(bool b) {
    putLE<uint8_t>(b ? 1 : 0);
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(char c) {
    putLE(static_cast<uint8_t>(c));
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(signed char c) {
    putLE(static_cast<uint8_t>(c));
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(unsigned char c) {
    putLE(static_cast<uint8_t>(c));
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(short i) {
    putLE(static_cast<uint16_t>(i));
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(unsigned short i) {
    putLE(static_cast<uint16_t>(i));
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(int i) {
    putLE(static_cast<uint32_t>(i));
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(unsigned int i) {
    putLE(static_cast<uint32_t>(i));
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(long i) {
    if (i < INT32_MIN || i > INT32_MAX)
        throwOutOfRange();
    putLE(static_cast<uint32_t>(i));
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(unsigned long i) {
    if (i > UINT32_MAX)
        throwOutOfRange();
    putLE(static_cast<uint32_t>(i));
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(long long i) {
    putLE(static_cast<uint64_t>(i));
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(unsigned long long i) {
    putLE(static_cast<uint64_t>(i));
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(float f) {
    putLE(std::bit_cast<uint32_t>(f));
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(double f) {
    putLE(std::bit_cast<uint64_t>(f));
    return *this;
}
ArchiveBase &ArchiveBase::operator<<(long double f) {
    // The bytes past the 80 bits are padding with no defined value in
    // memory; the slot always carries zeros there.
    unsigned char aSlot[kLongDoubleSlot] = {};
    std::memcpy(aSlot, &f, kLongDoubleBytes);
    write(aSlot, kLongDoubleSlot);
    return *this;
}

ArchiveBase &ArchiveBase::operator>>(bool &b) {
    // Only 0 and 1 are valid bools; any other stored byte would be
    // undefined behaviour once loaded.
    b = getLE<uint8_t>() != 0;
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(char &c) {
    c = static_cast<char>(getLE<uint8_t>());
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(signed char &c) {
    c = static_cast<signed char>(getLE<uint8_t>());
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(unsigned char &c) {
    c = getLE<uint8_t>();
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(short &i) {
    i = static_cast<short>(getLE<uint16_t>());
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(unsigned short &i) {
    i = getLE<uint16_t>();
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(int &i) {
    i = static_cast<int>(getLE<uint32_t>());
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(unsigned int &i) {
    i = getLE<uint32_t>();
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(long &i) {
    i = static_cast<int32_t>(getLE<uint32_t>());
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(unsigned long &i) {
    i = getLE<uint32_t>();
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(long long &i) {
    i = static_cast<long long>(getLE<uint64_t>());
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(unsigned long long &i) {
    i = getLE<uint64_t>();
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(float &f) {
    f = std::bit_cast<float>(getLE<uint32_t>());
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(double &f) {
    f = std::bit_cast<double>(getLE<uint64_t>());
    return *this;
}
ArchiveBase &ArchiveBase::operator>>(long double &f) {
    unsigned char aSlot[kLongDoubleSlot];
    read(aSlot, kLongDoubleSlot);
    long double fValue = 0;
    std::memcpy(&fValue, aSlot, kLongDoubleBytes);
    f = fValue;
    return *this;
}

ArchiveBase &operator<<(ArchiveBase &ar, const String &s) {
    if (s.getSize() > ArchiveBase::kMaxStringLength)
        throw ExceptionBase("String of %d bytes is too long to archive.", s.getSize());
    ar << long(s.getSize());
    ar.write(s.getConstStr(), s.getSize());
    return ar;
}

ArchiveBase &operator>>(ArchiveBase &ar, String &s) {
    long iLength = 0;
    ar >> iLength;
    if (iLength < 0 || iLength > ArchiveBase::kMaxStringLength)
        throw ExceptionBase("Archived string length %ld is out of range.", iLength);
    // The length is only a promise: the stream below may be a decompressor
    // that cannot tell how much is left. Grow with what has arrived.
    const int32_t iTotal = int32_t(iLength);
    String sValue;
    int32_t iHave = 0;
    while (iHave < iTotal) {
        const int32_t iStep = std::max(kFirstStringPiece, iHave);
        const int32_t iNext = iTotal - iHave <= iStep ? iTotal : iHave + iStep;
        sValue.setSize(iNext);
        ar.read(sValue.getStr() + iHave, iNext - iHave);
        iHave = iNext;
    }
    s = sValue;
    return ar;
}

ArchiveBase &operator<<(ArchiveBase &ar, const Uuid &u) {
    String sRaw = u.getRaw();
    ar.write(sRaw.getConstStr(), sRaw.getSize());
    return ar;
}

ArchiveBase &operator>>(ArchiveBase &ar, Uuid &u) {
    char aRaw[16];
    ar.read(aRaw, int(sizeof(aRaw)));
    u = Uuid(String(aRaw, int(sizeof(aRaw))));
    return ar;
}

} // namespace Ka
