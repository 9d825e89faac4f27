// Ka::Uuid: text form, parsing, hashing and generation from the kernel's random source.
#include "ka/uuid.h"

#include "ka/random.h"

#include <cstring>

namespace Ka {

namespace {

const char hexDigits[] = "0123456789abcdef";

// The value of a hexadecimal digit, or -1 for any other character.
int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

Uuid::Uuid() {
    clear();
}

Uuid::Uuid(const Uuid &other) {
    std::memcpy(data, other.data, sizeof data);
}

Uuid &Uuid::operator=(const Uuid &other) {
    std::memcpy(data, other.data, sizeof data);
    return *this;
}

Uuid::Uuid(const String &s) {
    clear();
    if (s.getSize() == 16) {
        std::memcpy(data, s.getConstStr(), sizeof data);
        return;
    }
    if (s.getSize() != 36)
        return;
    // Parsed into a scratch array, so that bad text leaves the empty value
    // rather than a half-filled one.
    uint8_t parsed[16] = {};
    int iDigits = 0;
    const char *p = s.getConstStr();
    for (int i = 0; i < 36; ++i) {
        if (p[i] == '-')
            continue;
        int iValue = hexValue(p[i]);
        if (iValue < 0 || iDigits == 32)
            return;
        parsed[iDigits / 2] |= uint8_t(iDigits % 2 == 0 ? iValue << 4 : iValue);
        ++iDigits;
    }
    if (iDigits == 32)
        std::memcpy(data, parsed, sizeof data);
}

String Uuid::getRaw() const {
    return String(reinterpret_cast<const char *>(data), 16);
}

String Uuid::toString() const {
    char text[36];
    int iPos = 0;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text[iPos++] = '-';
        text[iPos++] = hexDigits[data[i] >> 4];
        text[iPos++] = hexDigits[data[i] & 0x0F];
    }
    return String(text, 36);
}

String Uuid::toUrn() const {
    return String("urn:uuid:") + toString();
}

void Uuid::clear() {
    std::memset(data, 0, sizeof data);
    data[7] = 0x80;
}

Uuid Uuid::fromGuid(const Guid &guid) {
    Uuid u;
    for (int i = 0; i < 4; ++i)
        u.data[i] = uint8_t(guid.data1 >> (24 - 8 * i));
    u.data[4] = uint8_t(guid.data2 >> 8);
    u.data[5] = uint8_t(guid.data2);
    u.data[6] = uint8_t(guid.data3 >> 8);
    u.data[7] = uint8_t(guid.data3);
    std::memcpy(u.data + 8, guid.data4, 8);
    return u;
}

Uuid Uuid::generate() {
    unsigned char bytes[sizeof(Guid)];
    Random::systemBytes(bytes, sizeof bytes);
    Guid guid;
    std::memcpy(&guid, bytes, sizeof guid);
    Uuid u = fromGuid(guid);
    u.data[6] = uint8_t((u.data[6] & 0x0F) | 0x40); // version 4: random
    u.data[8] = uint8_t((u.data[8] & 0x3F) | 0x80); // variant 10: RFC 4122
    return u;
}

bool Uuid::operator==(const Uuid &other) const {
    return std::memcmp(data, other.data, sizeof data) == 0;
}

// Straight from the bytes: the same value as the hash of getRaw(), without
// building a string on every lookup.
uint32_t __calcHashCode(const Uuid &u) {
    return hashBytes(reinterpret_cast<const char *>(u.data), sizeof u.data);
}

bool __cmpHashKeys(const Uuid &a, const Uuid &b) {
    return a == b;
}

} // namespace Ka
