// Ka::FormatSpec: defaults, the full constructor, hex and the fields' ranges.
#include "ka/formatspec.h"

#include <gtest/gtest.h>

namespace {

TEST(FormatSpec, ConstructorsAndSetters) {
    Ka::FormatSpec fs;
    EXPECT_EQ(0, fs.getWidth());
    EXPECT_EQ(' ', fs.getFill());
    EXPECT_EQ(10, fs.getRadix());
    EXPECT_EQ(Ka::FormatSpec::Right, fs.getAlign());
    EXPECT_TRUE(!fs.isPlus() && fs.isCaps() && fs.isTokenize());

    Ka::FormatSpec full(12, 8, Ka::FormatSpec::Centre, true, false, '*');
    EXPECT_EQ(12, full.getWidth());
    EXPECT_EQ(8, full.getRadix());
    EXPECT_EQ(Ka::FormatSpec::Centre, full.getAlign());
    EXPECT_EQ('*', full.getFill());
    EXPECT_TRUE(full.isPlus() && !full.isCaps() && full.isTokenize());

    Ka::FormatSpec hex = Ka::FormatSpec::hex(2, false);
    EXPECT_EQ(2, hex.getWidth());
    EXPECT_EQ(16, hex.getRadix());
    EXPECT_EQ('0', hex.getFill());
    EXPECT_FALSE(hex.isCaps());

    fs.fill('\xFF').left().tokenize(false);
    EXPECT_EQ('\xFF', fs.getFill());
    EXPECT_EQ(Ka::FormatSpec::Left, fs.getAlign());
    EXPECT_FALSE(fs.isTokenize());
    // A width beyond 8 bits is the widest field, not the low bits of it;
    // radix and alignment keep their low bits and leave their neighbours be.
    EXPECT_EQ(255, Ka::FormatSpec().width(300).getWidth());
    EXPECT_EQ(0, Ka::FormatSpec().width(-4).getWidth());
    Ka::FormatSpec bits;
    bits.radix(64 + 36).align(4 + 3);
    EXPECT_EQ(36, bits.getRadix());
    EXPECT_EQ(3, bits.getAlign());
    EXPECT_TRUE(bits.isCaps() && !bits.isPlus());
}

} // namespace
