// Ka::FormatSpec: defaults, the full constructor, hex and the setters' ranges.
#include "ka/formatspec.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatSpec, DefaultsAndFullConstructor) {
    Ka::FormatSpec fs;
    EXPECT_EQ(0, fs.getWidth());
    EXPECT_EQ(' ', fs.getFill());
    EXPECT_EQ(10, fs.getRadix());
    EXPECT_EQ(Ka::FormatSpec::Right, fs.getAlign());
    EXPECT_FALSE(fs.isPlus());
    EXPECT_TRUE(fs.isCaps());
    EXPECT_TRUE(fs.isTokenize());

    Ka::FormatSpec full(12, 8, Ka::FormatSpec::Centre, true, false, '*');
    EXPECT_EQ(12, full.getWidth());
    EXPECT_EQ(8, full.getRadix());
    EXPECT_EQ(Ka::FormatSpec::Centre, full.getAlign());
    EXPECT_TRUE(full.isPlus());
    EXPECT_FALSE(full.isCaps());
    EXPECT_EQ('*', full.getFill());
    EXPECT_TRUE(full.isTokenize());

    Ka::FormatSpec hex = Ka::FormatSpec::hex(2, false);
    EXPECT_EQ(2, hex.getWidth());
    EXPECT_EQ(16, hex.getRadix());
    EXPECT_EQ('0', hex.getFill());
    EXPECT_EQ(Ka::FormatSpec::Right, hex.getAlign());
    EXPECT_FALSE(hex.isCaps());
}

TEST(FormatSpec, SettersChainAndKeepTheirFieldsInRange) {
    Ka::FormatSpec fs;
    fs.width(7).fill('\xFF').left().plus(true).caps(false).tokenize(false);
    EXPECT_EQ(7, fs.getWidth());
    EXPECT_EQ('\xFF', fs.getFill());
    EXPECT_EQ(Ka::FormatSpec::Left, fs.getAlign());
    EXPECT_TRUE(fs.isPlus());
    EXPECT_FALSE(fs.isCaps());
    EXPECT_FALSE(fs.isTokenize());
    EXPECT_EQ(Ka::FormatSpec::Centre, fs.centre().getAlign());
    EXPECT_EQ(Ka::FormatSpec::Right, fs.right().getAlign());

    // An 8-bit width: beyond it the widest field, not the low bits.
    EXPECT_EQ(255, Ka::FormatSpec().width(300).getWidth());
    EXPECT_EQ(0, Ka::FormatSpec().width(-4).getWidth());
    // Radix and alignment keep their low bits; neighbours stay untouched.
    Ka::FormatSpec bits;
    bits.radix(64 + 36).align(4 + 3);
    EXPECT_EQ(36, bits.getRadix());
    EXPECT_EQ(3, bits.getAlign());
    EXPECT_EQ(' ', bits.getFill());
    EXPECT_TRUE(bits.isCaps());
    EXPECT_EQ(0, Ka::FormatSpec().radix(64).getRadix());
}

} // namespace
