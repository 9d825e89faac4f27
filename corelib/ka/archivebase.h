// Ka::ArchiveBase: the plain byte layout of values, strings, identifiers and
// note tables, written to or read from whatever an archive moves bytes with.
#pragma once

#include "ka/exception.h"
#include "ka/hash.h"
#include "ka/string.h"
#include "ka/uuid.h"

#include <cstdint>

namespace Ka {

// The layout carries no header, no type tags and no padding: a reader must
// ask for exactly the sequence of types the writer wrote. Every multi-byte
// value is little-endian. Sizes per type:
//
//   bool, char, signed char, unsigned char       1 (bool: 0 or 1)
//   short, unsigned short                        2
//   int, unsigned int, long, unsigned long       4
//   long long, unsigned long long                8
//   float, double                                4, 8 (IEEE 754)
//   long double                                  12: the x87 80-bit value,
//                                                then two zero bytes
//
// long and unsigned long keep their 4-byte slot although they are 64-bit
// here; a value that does not fit is refused with ExceptionBase rather than
// cut. int64_t is long on this platform: use long long for 8 bytes.
//
// A read that finds fewer bytes than it needs throws ExceptionBase
// "Insufficient data to unarchive object."; the value being read may then be
// partly filled and the archive must be abandoned. Errors of the stream
// below pass through unchanged. An archive is used by one thread at a time.
class ArchiveBase {
public:
    // Strings longer than this are refused both ways: a damaged or forged
    // length must not make a reader wait for (or grow towards) gigabytes,
    // and what is written must read back.
    static constexpr int32_t kMaxStringLength = 256 * 1024 * 1024;

    ArchiveBase() = default;
    ArchiveBase(const ArchiveBase &) = delete;
    ArchiveBase &operator=(const ArchiveBase &) = delete;
    virtual ~ArchiveBase() = default;

    virtual void close() = 0;
    // Moves nBytes; nothing happens for a count below 1 or a null buffer.
    virtual void write(const void *pBuf, int nBytes) = 0;
    // Fills exactly nBytes or throws "Insufficient data to unarchive object.".
    virtual void read(void *pBuf, int nBytes) = 0;
    virtual bool isLoading() const = 0;

    ArchiveBase &operator<<(bool b);
    ArchiveBase &operator<<(char c);
    ArchiveBase &operator<<(signed char c);
    ArchiveBase &operator<<(unsigned char c);
    ArchiveBase &operator<<(short i);
    ArchiveBase &operator<<(unsigned short i);
    ArchiveBase &operator<<(int i);
    ArchiveBase &operator<<(unsigned int i);
    // Throws ExceptionBase when the value needs more than 32 bits.
    ArchiveBase &operator<<(long i);
    ArchiveBase &operator<<(unsigned long i);
    ArchiveBase &operator<<(long long i);
    ArchiveBase &operator<<(unsigned long long i);
    ArchiveBase &operator<<(float f);
    ArchiveBase &operator<<(double f);
    ArchiveBase &operator<<(long double f);
    // A pointer would otherwise turn silently into the one byte of a bool
    // (a C text too, ahead of the Ka::String operator).
    ArchiveBase &operator<<(const void *) = delete;

    // Any non-zero byte reads as true.
    ArchiveBase &operator>>(bool &b);
    ArchiveBase &operator>>(char &c);
    ArchiveBase &operator>>(signed char &c);
    ArchiveBase &operator>>(unsigned char &c);
    ArchiveBase &operator>>(short &i);
    ArchiveBase &operator>>(unsigned short &i);
    ArchiveBase &operator>>(int &i);
    ArchiveBase &operator>>(unsigned int &i);
    ArchiveBase &operator>>(long &i);
    ArchiveBase &operator>>(unsigned long &i);
    ArchiveBase &operator>>(long long &i);
    ArchiveBase &operator>>(unsigned long long &i);
    ArchiveBase &operator>>(float &f);
    ArchiveBase &operator>>(double &f);
    ArchiveBase &operator>>(long double &f);

private:
    template <typename U>
    void putLE(U iValue);
    template <typename U>
    U getLE();
};

// A string is its length as a 32-bit signed integer, then exactly that many
// bytes, no terminator. Writing a string longer than kMaxStringLength throws
// ExceptionBase and writes nothing. Reading refuses a negative length or one
// above kMaxStringLength with ExceptionBase; otherwise the bytes are read in
// pieces, so memory grows with the bytes that actually arrive. On failure
// the target string is left unchanged.
ArchiveBase &operator<<(ArchiveBase &ar, const String &s);
ArchiveBase &operator>>(ArchiveBase &ar, String &s);

// An identifier is its 16 raw bytes in stored order.
ArchiveBase &operator<<(ArchiveBase &ar, const Uuid &u);
ArchiveBase &operator>>(ArchiveBase &ar, Uuid &u);

// A note table: the count of live entries as a 32-bit integer, then for each
// live entry in slot order its key (16 bytes) and its record, written and
// read with the record's own operators (found next to R). R must be default
// constructible and copyable.
template <typename R>
ArchiveBase &operator<<(ArchiveBase &ar, const Hash<Uuid, R> &hTable) {
    ar << long(hTable.getSize());
    for (auto it = hTable.begin(); !it.isFinished(); ++it)
        ar << it.getKey() << it.getValue();
    return ar;
}

// Clears the table, then reads the count and that many entries; a count
// below 1 leaves the table empty and a key read twice keeps its later
// record. Nothing is sized from the count: every entry must come from the
// data, so a forged count ends in "Insufficient data to unarchive object."
// once the data runs out. On failure the table holds the entries read so far.
template <typename R>
ArchiveBase &operator>>(ArchiveBase &ar, Hash<Uuid, R> &hTable) {
    hTable.clear();
    long iCount = 0;
    ar >> iCount;
    for (long i = 0; i < iCount; ++i) {
        Uuid key;
        R record;
        ar >> key >> record;
        hTable.insert(key, record);
    }
    return ar;
}

} // namespace Ka
