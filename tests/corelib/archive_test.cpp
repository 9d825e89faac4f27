// Ka::Archive: the exact bytes of every type, strings and note tables, and
// damaged or forged input.
#include "ka/archive.h"
#include "ka/membuf.h"
#include "support/checks.h"
#include "support/failingstream.h"
#include "support/noterecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>

namespace {

using support::NoteRecord;
using Table = Ka::Hash<Ka::Uuid, NoteRecord>;

const char *const sInsufficient = "Insufficient data to unarchive object.";

// Bytes as spaced lower-case hexadecimal, the way the tests lay them out.
std::string hex(const Ka::String &s) {
    std::string out;
    char aDigits[4];
    for (int i = 0; i < s.getSize(); ++i) {
        std::snprintf(aDigits, sizeof(aDigits), i ? " %02x" : "%02x", (unsigned char)s[i]);
        out += aDigits;
    }
    return out;
}

Ka::String unhex(const std::string &sHex) {
    Ka::String out;
    for (size_t i = 0; i + 1 < sHex.size(); i += 3)
        out.append(char(std::stoi(sHex.substr(i, 2), nullptr, 16)));
    return out;
}

// The bytes that f writes through a fresh writing archive.
template <typename F>
std::string written(F f) {
    Ka::MemBuf buf;
    Ka::Archive ar(buf, false);
    f(ar);
    return hex(buf.getString());
}

// A memory stream that hands out at most iStep bytes per read, as a
// decompressor may, and notes the largest request it was given.
class TrickleStream : public Ka::MemBuf {
public:
    TrickleStream(const Ka::String &sData, int iStep) : Ka::MemBuf(sData), iStep(iStep) {}
    int read(void *pBuf, int nBytes) override {
        iLargestAsk = std::max(iLargestAsk, nBytes);
        return Ka::MemBuf::read(pBuf, std::min(nBytes, iStep));
    }
    int iStep;
    int iLargestAsk = 0;
};

const Ka::Uuid dnsId(Ka::String("6ba7b810-9dad-11d1-80b4-00c04fd430c8"));
const char *const sDnsIdHex = "6b a7 b8 10 9d ad 11 d1 80 b4 00 c0 4f d4 30 c8";

TEST(ArchiveLayout, KnownBytes) {
    EXPECT_EQ("01 02 01 01 00 00 00",
              written([](Ka::Archive &ar) { ar << true << short(258) << int32_t(1); }));
    EXPECT_EQ("00 00 00 00", written([](Ka::Archive &ar) { ar << Ka::String(); }));
    EXPECT_EQ("03 00 00 00 61 62 63", written([](Ka::Archive &ar) { ar << Ka::String("abc"); }));
}

// The value written alone, and what reads back from those bytes.
template <typename T>
std::pair<std::string, T> roundTrip(T value) {
    Ka::MemBuf buf;
    Ka::Archive out(buf, false);
    out << value;
    buf.setPos(0);
    Ka::Archive in(buf, true);
    T back{};
    in >> back;
    EXPECT_TRUE(buf.isEos());
    return {hex(buf.getString()), back};
}

// Each value's bytes laid out by hand.
TEST(ArchiveLayout, EveryTypeWritesItsBytesAndReadsBack) {
    auto expect = [](auto value, const char *sHex) {
        auto [sBytes, back] = roundTrip(value);
        EXPECT_EQ(sHex, sBytes);
        EXPECT_EQ(value, back) << sHex;
    };
    expect(false, "00");
    expect('A', "41");
    expect((signed char)-2, "fe");
    expect((unsigned char)0x80, "80");
    expect(short(-2), "fe ff");
    expect((unsigned short)0xabcd, "cd ab");
    expect(INT32_MIN, "00 00 00 80");
    expect(0x01020304u, "04 03 02 01");
    expect(-3L, "fd ff ff ff");
    expect(0xfffffffeUL, "fe ff ff ff");
    expect(-2LL, "fe ff ff ff ff ff ff ff");
    expect(0x0102030405060708ULL, "08 07 06 05 04 03 02 01");
    expect(-1.5f, "00 00 c0 bf");
    expect(0.1, "9a 99 99 99 99 99 b9 3f");
    expect(-2.0L, "00 00 00 00 00 00 00 80 00 c0 00 00");
    expect(dnsId, sDnsIdHex);
}

TEST(ArchiveLayout, ExtremesRoundTrip) {
    // int64_t is long here and would take the 4-byte slot: 8 bytes are long long.
    using LL = std::numeric_limits<long long>;
    using LD = std::numeric_limits<long double>;
    EXPECT_EQ(LL::min(), roundTrip(LL::min()).second);
    EXPECT_EQ(ULLONG_MAX, roundTrip(ULLONG_MAX).second);
    EXPECT_EQ(long(INT32_MIN), roundTrip(long(INT32_MIN)).second);
    EXPECT_EQ(UINT32_MAX, roundTrip((unsigned long)UINT32_MAX).second);
    EXPECT_TRUE(std::signbit(roundTrip(-0.0).second));
    EXPECT_TRUE(std::isnan(roundTrip(std::numeric_limits<double>::quiet_NaN()).second));
    for (long double f : {LD::max(), LD::denorm_min(), -LD::infinity()})
        EXPECT_EQ(f, roundTrip(f).second);
}

// long is 64-bit here but keeps its 4-byte slot: what does not fit is
// refused, not cut.
TEST(ArchiveLayout, LongOutsideItsSlotIsRefused) {
    Ka::MemBuf buf;
    Ka::Archive ar(buf, false);
    const std::string sRefused = "Value out of range for a 32-bit archive field.";
    EXPECT_EQ(sRefused, support::messageOf([&] { ar << long(INT32_MAX) + 1; }));
    EXPECT_EQ(sRefused, support::messageOf([&] { ar << long(INT32_MIN) - 1; }));
    EXPECT_EQ(sRefused, support::messageOf([&] { ar << (unsigned long)UINT32_MAX + 1; }));
    EXPECT_EQ(0, buf.getSize());
}

TEST(ArchiveLayout, AnyNonZeroByteReadsAsTrue) {
    Ka::MemBuf buf(unhex("00 01 02 ff"));
    Ka::Archive ar(buf, true);
    bool a = true, b = false, c = false, d = false;
    ar >> a >> b >> c >> d;
    EXPECT_FALSE(a);
    EXPECT_TRUE(b && c && d);
}

// Zero bytes, chunked strings and one long enough to be read in several
// pieces, all through a stream that hands out 7 bytes at a time.
TEST(ArchiveStrings, RoundTripThroughAStreamOfShortReads) {
    Ka::String sZeros("a\0b\0", 4);
    Ka::String sChained;
    for (int i = 0; i < 100; ++i)
        sChained += "chunk ";
    Ka::String sLong(300000);
    for (int i = 0; i < sLong.getSize(); ++i)
        sLong[i] = char(i * 7);
    Ka::MemBuf out;
    Ka::Archive arOut(out, false);
    arOut << sZeros << sChained << sLong;
    ASSERT_EQ(12 + 4 + 600 + 300000, out.getSize());

    TrickleStream in(out.getString(), 7);
    Ka::Archive arIn(in, true);
    Ka::String a, b, c;
    arIn >> a >> b >> c;
    EXPECT_EQ(sZeros, a);
    EXPECT_EQ(sChained, b);
    EXPECT_EQ(sLong, c);
}

TEST(ArchiveNoteTable, OneEntryByHand) {
    Table h;
    h.insert(dnsId, NoteRecord{5, 7, true, "Hi", "html"});
    EXPECT_EQ(std::string("01 00 00 00 ") + sDnsIdHex +
                  " 05 00 00 00 07 00 00 00 01 02 00 00 00 48 69 04 00 00 00 68 74 6d 6c",
              written([&](Ka::Archive &ar) { ar << h; }));
}

TEST(ArchiveNoteTable, OnlyLiveEntriesAreWrittenAndReadBack) {
    Table h;
    Ka::Uuid aIds[5];
    for (int i = 0; i < 5; ++i) {
        aIds[i] = Ka::Uuid::generate();
        Ka::String sName("note ");
        sName += char('0' + i);
        h.insert(aIds[i], NoteRecord{i, 10 * i, i % 2 == 1, sName, "html"});
    }
    h.erase(aIds[1]);
    h.erase(aIds[3]);
    Ka::MemBuf buf;
    Ka::Archive out(buf, false);
    out << h;
    EXPECT_EQ(4 + 3 * (16 + 9 + 4 + 6 + 4 + 4), buf.getSize());

    buf.setPos(0);
    Ka::Archive in(buf, true);
    Table back;
    back.insert(aIds[1], NoteRecord{}); // dropped by the read
    in >> back;
    ASSERT_EQ(3, back.getSize());
    for (int i : {0, 2, 4})
        EXPECT_EQ(h.get(aIds[i]), back.get(aIds[i]));
}

TEST(ArchiveNoteTable, EmptyTableClearsTheTarget) {
    Table empty;
    EXPECT_EQ("00 00 00 00", written([&](Ka::Archive &ar) { ar << empty; }));
    Ka::MemBuf buf(unhex("00 00 00 00"));
    Ka::Archive ar(buf, true);
    Table target;
    target.insert(dnsId, NoteRecord{1, 2, false, "old", "html"});
    ar >> target;
    EXPECT_TRUE(target.isEmpty());
}

TEST(ArchiveNoteTable, RepeatedKeyKeepsTheLaterRecord) {
    // Stream id, version 0, unchanged, empty name and type.
    auto entry = [](const char *sStreamId) {
        return std::string(" ") + sDnsIdHex + " " + sStreamId +
               " 00 00 00 00 00 00 00 00 00 00 00 00 00";
    };
    Ka::MemBuf buf(unhex("02 00 00 00" + entry("01 00 00 00") + entry("02 00 00 00")));
    Ka::Archive ar(buf, true);
    Table h;
    ar >> h;
    ASSERT_EQ(1, h.getSize());
    EXPECT_EQ(2, h.get(dnsId).iStreamId);
    EXPECT_TRUE(buf.isEos());
}

TEST(ArchiveDamage, ShortReadsFail) {
    Ka::MemBuf buf(unhex("01 02 03"));
    Ka::Archive ar(buf, true);
    int i = 0;
    EXPECT_EQ(sInsufficient, support::messageOf([&] { ar >> i; }));

    // A table cut anywhere fails the same way, however its pieces arrive.
    Table h;
    h.insert(dnsId, NoteRecord{3, 4, true, "name", "html"});
    h.insert(Ka::Uuid::generate(), NoteRecord{5, 6, false, "", "html"});
    Ka::MemBuf whole;
    Ka::Archive out(whole, false);
    out << h;
    for (int iCut = 0; iCut < whole.getSize(); ++iCut) {
        TrickleStream cut(whole.getString().getSubStr(0, iCut), 3);
        Ka::Archive in(cut, true);
        Table back;
        EXPECT_EQ(sInsufficient, support::messageOf([&] { in >> back; })) << iCut;
    }
}

TEST(ArchiveDamage, ForgedStringLengthsAreRefused) {
    const Ka::String sKept("kept");
    for (const char *sLength : {"ff ff ff ff", "00 00 00 80", "ff ff ff 7f", "01 00 00 10"}) {
        Ka::MemBuf buf(unhex(std::string(sLength) + " 61 62 63"));
        Ka::Archive ar(buf, true);
        Ka::String s(sKept);
        const std::string sMessage = support::messageOf([&] { ar >> s; });
        EXPECT_EQ(0u, sMessage.find("Archived string length ")) << sMessage;
        EXPECT_EQ(sKept, s);
    }
    // The longest allowed length, backed by three bytes: the reader asks
    // for a bounded piece, not for the whole promise.
    TrickleStream in(unhex("00 00 00 10 61 62 63"), 1 << 20);
    Ka::Archive ar(in, true);
    Ka::String s;
    EXPECT_EQ(sInsufficient, support::messageOf([&] { ar >> s; }));
    EXPECT_LE(in.iLargestAsk, 1 << 20);
}

TEST(ArchiveDamage, ForgedCounts) {
    const std::string sEntry =
        std::string(" ") + sDnsIdHex + " 01 00 00 00 02 00 00 00 01 00 00 00 00 00 00 00 00";
    // A huge count with one entry behind it runs out of data.
    Ka::MemBuf huge(unhex("ff ff ff 7f" + sEntry));
    Ka::Archive arHuge(huge, true);
    Table h;
    EXPECT_EQ(sInsufficient, support::messageOf([&] { arHuge >> h; }));
    // A negative count reads as an empty table and takes only its 4 bytes.
    Ka::MemBuf negative(unhex("fe ff ff ff" + sEntry));
    Ka::Archive arNegative(negative, true);
    arNegative >> h;
    EXPECT_TRUE(h.isEmpty());
    EXPECT_EQ(4, negative.tell());
}

TEST(ArchiveDamage, StreamFailureReachesTheWriter) {
    Table h;
    h.insert(dnsId, NoteRecord{1, 1, true, "a note with a long name", "html"});
    Ka::MemBuf inner;
    support::FailingStream failing(inner, 30);
    Ka::Archive ar(failing, false);
    EXPECT_EQ(ENOSPC, support::failureOf<Ka::FileException>([&] { ar << h; }).second);
}

TEST(ArchivePointers, IdsAndFixUps) {
    Ka::MemBuf buf;
    Ka::Archive writer(buf, false);
    int a = 0, b = 0;
    // Pointer values that differ only above the low 32 bits stay apart.
    const void *pHigh = reinterpret_cast<const void *>(uintptr_t(&a) ^ (uintptr_t(1) << 40));
    EXPECT_EQ(1u, writer.getID(&a));
    EXPECT_EQ(2u, writer.getID(&b));
    EXPECT_EQ(3u, writer.getID(pHigh));
    EXPECT_EQ(1u, writer.getID(&a));

    Ka::Archive reader(buf, true);
    void *pEarly1 = nullptr, *pEarly2 = nullptr, *pLate = nullptr;
    reader.assocPtrID(&pEarly1, 7);
    reader.assocPtrID(&pEarly2, 7);
    EXPECT_EQ(nullptr, pEarly1);
    reader.readID(&a, 7);
    EXPECT_EQ(&a, pEarly1);
    EXPECT_EQ(&a, pEarly2);
    reader.assocPtrID(&pLate, 7);
    EXPECT_EQ(&a, pLate);
    // The waiting list went with the first readID.
    pEarly1 = nullptr;
    reader.readID(&b, 7);
    EXPECT_EQ(nullptr, pEarly1);
}

} // namespace
