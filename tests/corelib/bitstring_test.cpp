// Ka::BitString: bit access, masking of the last byte, shifts, ranges and
// arguments far outside the string, checked against a plain vector of bools.
#include "ka/bitstring.h"
#include "ka/exception.h"
#include "ka/random.h"
#include "ka/randombasic.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), s.getSize());
}

using Model = std::vector<bool>;

Model modelOf(const Ka::BitString &b) {
    Model m;
    for (int i = 0; i < b.getSize(); ++i)
        m.push_back(b.getBit(i));
    return m;
}

// A bit string and its model with the same pseudo-random pattern.
Ka::BitString pattern(int iBits, uint32_t iSeed, Model &m) {
    Ka::BitString b(iBits);
    m.assign(size_t(iBits), false);
    uint32_t x = iSeed * 2654435761u + 1;
    for (int i = 0; i < iBits; ++i) {
        x = x * 1103515245u + 12345u;
        if ((x >> 16) & 1) {
            b.setBit(i, true);
            m[size_t(i)] = true;
        }
    }
    return b;
}

// Every operation must leave the bits beyond the end at 0: nothing past the
// size may show up in the highest bit or in the text.
void expectClean(const Ka::BitString &b) {
    EXPECT_LT(b.getHighestOrderBitPos(), b.getSize());
    EXPECT_EQ(b.getSize(), str(b.toString()).size());
}

std::string message(const std::function<void()> &f) {
    try {
        f();
    } catch (const Ka::ExceptionBase &e) {
        return e.what();
    }
    return "<no exception>";
}

TEST(BitStringBits, TenBitsSetGetAndRangeErrors) {
    Ka::BitString b(10, false);
    EXPECT_EQ(10, b.getSize());
    EXPECT_EQ("0000000000", str(b.toString()));
    b.setBit(9, true);
    EXPECT_EQ("1000000000", str(b.toString()));
    b.setBit(0, true);
    b.flipBit(3);
    EXPECT_EQ("1000001001", str(b.toString()));
    b.flipBit(3);
    b.setBit(9, false);
    EXPECT_EQ("0000000001", str(b.toString()));

    EXPECT_EQ("bit out of range: 10 in (0-10)", message([&] { b.setBit(10, true); }));
    EXPECT_EQ("bit out of range: -1 in (0-10)", message([&] { b.setBit(-1, true); }));
    EXPECT_EQ("bit out of range: 2147483647 in (0-10)", message([&] { b.setBit(INT_MAX, 1); }));
    EXPECT_EQ("bit out of range: -2147483648 in (0-10)", message([&] { b.setBit(INT_MIN, 0); }));
    EXPECT_EQ("bit out of range: 10 in (0-10)", message([&] { b.flipBit(10); }));
    EXPECT_EQ("bit out of range: -5 in (0-10)", message([&] { b.flipBit(-5); }));
    for (int i : {-1, 10, 15, 16, INT_MAX, INT_MIN})
        EXPECT_FALSE(b.getBit(i)) << i;
    EXPECT_EQ("0000000001", str(b.toString()));
}

// The container marks blocks from a file that may be damaged: an index past
// the map must be refused, not written.
TEST(BitStringBits, BlockMapRefusesIndicesFromOutside) {
    Ka::BitString map(0);
    EXPECT_EQ("bit out of range: 0 in (0-0)", message([&] { map.setBit(0, true); }));
    Ka::BitString blocks(64);
    for (int i : {64, 65, 1 << 20, -64})
        EXPECT_THROW(blocks.setBit(i, true), Ka::ExceptionBase);
    blocks.setBit(63, true);
    EXPECT_EQ(63, blocks.getHighestOrderBitPos());
}

TEST(BitStringBits, EmptyAndNegativeSizesAreSafe) {
    for (Ka::BitString b : {Ka::BitString(), Ka::BitString(-5), Ka::BitString(INT_MIN, true)}) {
        EXPECT_EQ(0, b.getSize());
        EXPECT_EQ("", str(b.toString()));
        EXPECT_EQ(-1, b.getHighestOrderBitPos());
        EXPECT_FALSE(b.getBit(0));
        EXPECT_EQ(0u, b.toLong(0, 1));
        EXPECT_EQ(0, b.getSubString(0, 5).getSize());
        b.shiftLeft(3);
        b.shiftRight(-9);
        b.invert();
        b.randomise();
        b.clear();
        EXPECT_EQ(0, (~b).getSize());
    }
}

// Inverting and randomising set whole bytes; the bits past the end must be
// cleared again.
TEST(BitStringMask, InvertAndRandomiseKeepTailClear) {
    for (int iBits : {1, 7, 8, 9, 10, 15, 16, 17, 63}) {
        Ka::BitString b(iBits);
        b.invert();
        EXPECT_EQ(std::string(size_t(iBits), '1'), str(b.toString()));
        EXPECT_EQ(iBits - 1, b.getHighestOrderBitPos());
        Ka::BitString c = ~Ka::BitString(iBits);
        EXPECT_EQ(iBits - 1, c.getHighestOrderBitPos());
        Ka::BitString r(iBits, true);
        expectClean(r);
        r.shiftLeft(1);
        expectClean(r);
    }
}

// The bytes come from the process-wide source, low 8 bits of one draw each.
TEST(BitStringMask, RandomiseDrawsOneValuePerByte) {
    Ka::Random::setGenerator<Ka::RandomBasic>();
    Ka::Random::seed(77);
    Ka::BitString b(20, true);
    Ka::RandomBasic ref;
    ref.seed(77);
    Model expected;
    for (int iByte = 0; iByte < 3; ++iByte) {
        uint32_t v = ref.rand();
        for (int i = 0; i < 8 && iByte * 8 + i < 20; ++i)
            expected.push_back((v >> i) & 1);
    }
    EXPECT_EQ(expected, modelOf(b));
    expectClean(b);
}

TEST(BitStringSize, GrowShrinkAndClear) {
    Model m;
    Ka::BitString b = pattern(21, 5, m);
    b.setBit(20, true);
    m[20] = true;

    // Growing keeps every bit and brings in zeros, within and past the byte.
    b.setSize(23, false);
    Model grown = m;
    grown.resize(23, false);
    EXPECT_EQ(grown, modelOf(b));
    b.setSize(40, false);
    grown.resize(40, false);
    EXPECT_EQ(grown, modelOf(b));

    // Shrinking inside the last byte must drop the bits beyond the new end,
    // so that they do not come back on the next growth.
    b.setSize(18, false);
    expectClean(b);
    b.setSize(24, false);
    Model regrown(m.begin(), m.begin() + 18);
    regrown.resize(24, false);
    EXPECT_EQ(regrown, modelOf(b));

    b.setSize(24, true);
    EXPECT_EQ(-1, b.getHighestOrderBitPos());
    b.invert();
    b.setSize(9, true);
    EXPECT_EQ("000000000", str(b.toString()));
    b.setSize(-3, false);
    EXPECT_EQ(0, b.getSize());
    b.setSize(5, false);
    EXPECT_EQ("00000", str(b.toString()));
}

TEST(BitStringCopy, DeepCopies) {
    Model m;
    Ka::BitString a = pattern(30, 9, m);
    Ka::BitString copy(a);
    Ka::BitString assigned(3);
    assigned = a;
    Ka::BitString &self = assigned;
    assigned = self;
    a.invert();
    EXPECT_EQ(m, modelOf(copy));
    EXPECT_EQ(m, modelOf(assigned));
    Ka::BitString inverted = ~copy;
    EXPECT_EQ(m, modelOf(copy));
    EXPECT_EQ(modelOf(a), modelOf(inverted));
}

Model shiftedModel(const Model &m, int64_t n) { // n > 0 towards higher bits
    Model r(m.size(), false);
    for (int64_t i = 0; i < int64_t(m.size()); ++i) {
        int64_t j = i + n;
        if (j >= 0 && j < int64_t(m.size()))
            r[size_t(j)] = m[size_t(i)];
    }
    return r;
}

TEST(BitStringShift, MatchesModelForAllSmallAmounts) {
    for (int iBits : {1, 5, 8, 13, 16, 31, 64, 70}) {
        Model m;
        Ka::BitString base = pattern(iBits, uint32_t(iBits), m);
        for (int n = -80; n <= 80; ++n) {
            Ka::BitString l(base), r(base);
            l.shiftLeft(n);
            r.shiftRight(n);
            ASSERT_EQ(shiftedModel(m, n), modelOf(l)) << iBits << " << " << n;
            ASSERT_EQ(shiftedModel(m, -int64_t(n)), modelOf(r)) << iBits << " >> " << n;
            expectClean(l);
            expectClean(r);
        }
    }
}

TEST(BitStringShift, ExtremeAmountsClear) {
    Model m;
    Ka::BitString base = pattern(40, 3, m);
    for (int n : {INT_MAX, INT_MIN, INT_MIN + 1, 1 << 30}) {
        Ka::BitString l(base), r(base);
        l.shiftLeft(n);
        r.shiftRight(n);
        EXPECT_EQ(-1, l.getHighestOrderBitPos()) << n;
        EXPECT_EQ(-1, r.getHighestOrderBitPos()) << n;
    }
}

TEST(BitStringRange, SubStringClipsToTheString) {
    Model m;
    Ka::BitString b = pattern(37, 11, m);
    auto sub = [&](int iFrom, int iTo) { return Model(m.begin() + iFrom, m.begin() + iTo + 1); };
    EXPECT_EQ(sub(0, 36), modelOf(b.getSubString(0, 36)));
    EXPECT_EQ(sub(3, 20), modelOf(b.getSubString(3, 20)));
    EXPECT_EQ(sub(36, 36), modelOf(b.getSubString(36, 36)));
    EXPECT_EQ(sub(0, 4), modelOf(b.getSubString(-10, 4)));
    EXPECT_EQ(sub(30, 36), modelOf(b.getSubString(30, INT_MAX)));
    EXPECT_EQ(sub(0, 36), modelOf(b.getSubString(INT_MIN, INT_MAX)));
    EXPECT_EQ(0, b.getSubString(5, 4).getSize());
    EXPECT_EQ(0, b.getSubString(37, 40).getSize());
    EXPECT_EQ(0, b.getSubString(INT_MAX, INT_MIN).getSize());
    expectClean(b.getSubString(1, 9));
}

TEST(BitStringRange, ToLongReadsLowestBitFirst) {
    Ka::BitString b(40);
    // 0xA5 at bits 4..11, and bits 35 and 39.
    for (int i = 0; i < 8; ++i)
        b.setBit(4 + i, (0xA5 >> i) & 1);
    b.setBit(35, true);
    b.setBit(39, true);
    EXPECT_EQ(0xA5u, b.toLong(4, 8));
    EXPECT_EQ(0xA50u, b.toLong(0, 12));
    EXPECT_EQ(1u, b.toLong(4, 0));  // at least one bit
    EXPECT_EQ(1u, b.toLong(4, -9)); // at least one bit
    EXPECT_EQ(0x800000A5u, b.toLong(4, 32));
    EXPECT_EQ(0x800000A5u, b.toLong(4, 99)); // at most 32 bits
    EXPECT_EQ(0x11u, b.toLong(35, 5));       // up to the very end
    EXPECT_EQ(1u, b.toLong(39, 1));
    EXPECT_EQ(0u, b.toLong(39, 2)); // passes the end
    EXPECT_EQ(0u, b.toLong(-1, 8));
    EXPECT_EQ(0u, b.toLong(INT_MAX, 32));
    EXPECT_EQ(0u, b.toLong(INT_MIN, 32));
}

} // namespace
