// Ka::Uuid: the 16-byte identifier of every note, in raw and text form.
#pragma once

#include "ka/string.h"

#include <cstdint>

namespace Ka {

// The bytes are kept in network order: time-low, time-mid and
// time-high-and-version big-endian, then the clock-sequence and node bytes.
// The raw form is those 16 bytes; the text form is 36 characters of
// lower-case hexadecimal in groups 8-4-4-4-12. A value type; not locked.
class Uuid {
public:
    // The field layout of a platform GUID: the integers in host byte order.
    struct Guid {
        uint32_t data1;
        uint16_t data2;
        uint16_t data3;
        uint8_t data4[8];
    };
    static_assert(sizeof(Guid) == 16, "a GUID is 16 bytes without padding");

    // The empty value: all bytes 0 except byte 7, which is 0x80.
    Uuid();
    Uuid(const Uuid &other);
    Uuid &operator=(const Uuid &other);
    // 16 bytes are taken as the raw value; 36 bytes are parsed as text.
    // Text parsing skips every '-' and needs exactly 32 hexadecimal digits
    // (either case) in between, high half of each byte first. Any other
    // length, a character that is neither '-' nor a hexadecimal digit, or a
    // wrong number of digits gives the empty value (never an exception).
    explicit Uuid(const String &s);
    virtual ~Uuid() = default;

    String getRaw() const;
    String toString() const;
    // "urn:uuid:" followed by toString().
    String toUrn() const;
    // The high four bits of byte 6.
    int getVersion() const { return data[6] >> 4; }
    // Back to the empty value.
    void clear();

    // A new random identifier (version 4, RFC variant) from the kernel's
    // random source. Throws ExceptionBase when no random source can be read.
    // Thread-safe.
    static Uuid generate();
    // The identifier whose bytes are a GUID's fields in network order: the
    // three integers most significant byte first, then data4 unchanged.
    static Uuid fromGuid(const Guid &guid);

    bool operator==(const Uuid &other) const;
    bool operator!=(const Uuid &other) const { return !(*this == other); }

private:
    friend uint32_t __calcHashCode(const Uuid &u);
    uint8_t data[16];
};

// Hashing for Ka::Hash: the string hash of the 16 raw bytes.
uint32_t __calcHashCode(const Uuid &u);
bool __cmpHashKeys(const Uuid &a, const Uuid &b);

} // namespace Ka
