// Ka::Uuid: byte order, text form and its parsing, hashing and generation.
#include "ka/uuid.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), s.getSize());
}

Ka::String bytes(std::initializer_list<int> l) {
    Ka::String s;
    for (int b : l)
        s.append(char(b));
    return s;
}

const char *const sEmptyText = "00000000-0000-0080-0000-000000000000";

// The DNS namespace identifier, published with its bytes and version 1.
TEST(UuidText, PublishedNamespaceIdentifier) {
    Ka::Uuid u(Ka::String("6ba7b810-9dad-11d1-80b4-00c04fd430c8"));
    EXPECT_EQ(str(bytes({0x6b, 0xa7, 0xb8, 0x10, 0x9d, 0xad, 0x11, 0xd1, 0x80, 0xb4, 0x00, 0xc0,
                         0x4f, 0xd4, 0x30, 0xc8})),
              str(u.getRaw()));
    EXPECT_EQ(1, u.getVersion());
    EXPECT_EQ("urn:uuid:6ba7b810-9dad-11d1-80b4-00c04fd430c8", str(u.toUrn()));
}

TEST(UuidText, RoundTripOfAllByteValues) {
    Ka::String raw = bytes({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b,
                            0x0c, 0x0d, 0x0e, 0x0f});
    Ka::Uuid u(raw);
    EXPECT_EQ("00010203-0405-0607-0809-0a0b0c0d0e0f", str(u.toString()));
    EXPECT_EQ(raw, Ka::Uuid(u.toString()).getRaw());

    // High bytes and the lower-case letters both ways.
    Ka::String high = bytes({0xff, 0xfe, 0xab, 0xcd, 0xef, 0x80, 0x7f, 0x10, 0x99, 0xa0, 0x0a, 0xff,
                             0x00, 0xc3, 0x3c, 0xee});
    EXPECT_EQ("fffeabcd-ef80-7f10-99a0-0aff00c33cee", str(Ka::Uuid(high).toString()));
    EXPECT_EQ(high, Ka::Uuid(Ka::Uuid(high).toString()).getRaw());
}

TEST(UuidText, UpperCaseDigitsParse) {
    EXPECT_EQ(Ka::Uuid(Ka::String("6ba7b810-9dad-11d1-80b4-00c04fd430c8")),
              Ka::Uuid(Ka::String("6BA7B810-9DAD-11D1-80B4-00C04FD430C8")));
}

// Bad text never reads or writes past the value and always yields the empty
// value; 32 digits with the four dashes anywhere still parse.
TEST(UuidText, BadInputGivesEmptyValue) {
    const Ka::Uuid empty;
    EXPECT_EQ(sEmptyText, str(empty.toString()));
    const char *const bad[] = {
        "",
        "6ba7b810-9dad-11d1-80b4-00c04fd430c",   // 35 characters
        "6ba7b810-9dad-11d1-80b4-00c04fd430c80", // 37 characters
        "6ba7b8109dad11d180b400c04fd430c8abcd",  // 36 digits, no dash
        "6ba7b810-9dad-11d1-80b4-00c04fd430cg",  // not a digit
        "6ba7b810-9dad-11d1-80b4-00c04fd430c ",  // space
        "6ba7b810-9dad-11d1-80b4-00c0-fd430c8",  // five dashes, 31 digits
        "6ba7b810x9dad-11d1-80b4-00c04fd430c8",  // other separator
        "{ba7b810-9dad-11d1-80b4-00c04fd430c8",
    };
    for (const char *s : bad)
        EXPECT_EQ(empty, Ka::Uuid(Ka::String(s))) << s;
    // A zero byte inside the text.
    Ka::String withZero("6ba7b810-9dad-11d1-80b4-00c04fd430c8");
    withZero[3] = '\0';
    EXPECT_EQ(empty, Ka::Uuid(withZero));
    // Lengths around the raw form.
    EXPECT_EQ(empty, Ka::Uuid(Ka::String("0123456789abcde")));
    EXPECT_EQ(empty, Ka::Uuid(Ka::String("0123456789abcdefg")));

    EXPECT_EQ(Ka::Uuid(Ka::String("6ba7b810-9dad-11d1-80b4-00c04fd430c8")),
              Ka::Uuid(Ka::String("-6ba7b8109dad11d1--80b400c04fd430c8-")));
}

TEST(UuidValue, EmptyClearCopyAndCompare) {
    Ka::Uuid u(Ka::String("6ba7b810-9dad-11d1-80b4-00c04fd430c8"));
    Ka::Uuid copy(u);
    Ka::Uuid assigned;
    assigned = u;
    EXPECT_EQ(u, copy);
    EXPECT_EQ(u, assigned);
    u.clear();
    EXPECT_EQ(sEmptyText, str(u.toString()));
    EXPECT_EQ(Ka::Uuid(), u);
    EXPECT_NE(u, copy);
    EXPECT_FALSE(u == copy);

    // One differing bit in the last byte is enough.
    Ka::String raw = copy.getRaw();
    raw[15] = char(raw[15] ^ 1);
    EXPECT_NE(copy, Ka::Uuid(raw));
}

TEST(UuidValue, RawFormKeepsZeroBytes) {
    Ka::String raw(16);
    std::memset(raw.getStr(), 0, 16);
    raw[9] = char(0xAB);
    Ka::Uuid u(raw);
    EXPECT_EQ(16, u.getRaw().getSize());
    EXPECT_EQ(raw, u.getRaw());
    EXPECT_EQ("00000000-0000-0000-00ab-000000000000", str(u.toString()));
}

TEST(UuidHash, EqualValuesHashAlikeAsTheirRawBytes) {
    Ka::Uuid a(Ka::String("6ba7b810-9dad-11d1-80b4-00c04fd430c8"));
    Ka::Uuid b(a.getRaw());
    EXPECT_EQ(Ka::__calcHashCode(a), Ka::__calcHashCode(b));
    EXPECT_EQ(Ka::__calcHashCode(a.getRaw()), Ka::__calcHashCode(a));
    EXPECT_TRUE(Ka::__cmpHashKeys(a, b));
    EXPECT_FALSE(Ka::__cmpHashKeys(a, Ka::Uuid()));
    // Bytes above 0x7f enter the hash sign-extended, as in the string hash.
    Ka::Uuid high(bytes({0xff, 0x80, 0x90, 0xa0, 0xb0, 0xc0, 0xd0, 0xe0, 0xf0, 0x81, 0x82, 0x83,
                         0x84, 0x85, 0x86, 0x87}));
    EXPECT_EQ(Ka::__calcHashCode(high.getRaw()), Ka::__calcHashCode(high));
}

// The platform GUID's integers lie in memory in host order; the identifier
// holds them most significant byte first.
TEST(UuidGuid, FieldsBecomeNetworkOrder) {
    const unsigned char memory[16] = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                      0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    Ka::Uuid::Guid guid;
    std::memcpy(&guid, memory, sizeof guid);
    Ka::Uuid u = Ka::Uuid::fromGuid(guid);
    if (guid.data1 == 0x00112233u) { // a little-endian host, as the platform GUID was
        EXPECT_EQ("00112233-4455-6677-8899-aabbccddeeff", str(u.toString()));
    }

    Ka::Uuid::Guid byValue = {
        0x00112233u, 0x4455, 0x6677, {0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff}};
    EXPECT_EQ("00112233-4455-6677-8899-aabbccddeeff", str(Ka::Uuid::fromGuid(byValue).toString()));
}

TEST(UuidGenerate, RandomVersionFourWithRfcVariant) {
    std::set<std::string> seen;
    int iOrBits = 0, iAndBits = 0xFF;
    for (int n = 0; n < 2000; ++n) {
        Ka::Uuid u = Ka::Uuid::generate();
        Ka::String raw = u.getRaw();
        ASSERT_EQ(4, u.getVersion());
        ASSERT_EQ(0x80, raw[8] & 0xC0) << str(u.toString());
        ASSERT_EQ(u, Ka::Uuid(u.toString()));
        seen.insert(str(raw));
        iOrBits |= static_cast<unsigned char>(raw[0]);
        iAndBits &= static_cast<unsigned char>(raw[0]);
    }
    EXPECT_EQ(2000u, seen.size());
    // The first byte is random: over 2000 draws every bit was both 0 and 1.
    EXPECT_EQ(0xFF, iOrBits);
    EXPECT_EQ(0x00, iAndBits);
}

} // namespace
