// Ka::MemBuf: reading, overwriting, clamped positioning and hostile
// arguments over an in-memory string.
#include "ka/membuf.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), s.getSize());
}

TEST(MemBuf, PositionsClampAndWritesOverwriteThenAppend) {
    Ka::MemBuf buf(Ka::String("abc"));
    EXPECT_EQ(0, buf.tell());
    buf.setPosEnd(1);
    EXPECT_EQ(2, buf.tell());
    buf.seek(-10);
    EXPECT_EQ(0, buf.tell());
    buf.setPos(2);
    EXPECT_EQ(3, buf.write("XYZ", 3));
    EXPECT_EQ("abXYZ", str(buf.getString()));
    EXPECT_EQ(5, buf.tell());
    EXPECT_TRUE(buf.isEos());
    EXPECT_FALSE(buf.canRead());
    buf.setPos(100);
    EXPECT_EQ(5, buf.tell());
    buf.setPosEnd(-3); // counted back from the end, clamped to it
    EXPECT_EQ(5, buf.tell());
}

TEST(MemBuf, ReadStopsAtTheEnd) {
    Ka::MemBuf buf(Ka::String("hello"));
    char sOut[8] = {};
    EXPECT_EQ(3, buf.read(sOut, 3));
    EXPECT_EQ(2, buf.read(sOut + 3, 8));
    EXPECT_EQ("hello", std::string(sOut));
    EXPECT_EQ(0, buf.read(sOut, 8));
    EXPECT_TRUE(buf.isEos());
}

TEST(MemBuf, SetSizeMovesThePositionInsideAndZeroFills) {
    Ka::MemBuf buf(Ka::String("abc"));
    buf.setPos(3);
    buf.setSize(1);
    EXPECT_EQ(1, buf.tell());
    EXPECT_EQ("a", str(buf.getString()));
    buf.setSize(4);
    EXPECT_EQ(std::string("a\0\0\0", 4), str(buf.getString()));
    EXPECT_EQ(1, buf.tell());
    buf.setSize(-5);
    EXPECT_EQ(0, buf.getSize());
    EXPECT_EQ(0, buf.tell());
}

TEST(MemBuf, WritingLeavesTheSourceStringAlone) {
    Ka::String sOrig("shared");
    Ka::MemBuf buf(sOrig);
    buf.write("S", 1);
    buf.setPosEnd(0);
    buf.write("!", 1);
    EXPECT_EQ("shared", str(sOrig));
    EXPECT_EQ("Shared!", str(buf.getString()));
    buf.setString(Ka::String("new"));
    EXPECT_EQ(0, buf.tell());
    EXPECT_EQ("new", str(buf.getString()));
    EXPECT_EQ(3, buf.getBlockSize());
}

TEST(MemBuf, WritingItsOwnBytes) {
    Ka::MemBuf buf(Ka::String("abcdef"));
    buf.setPos(2);
    // Overlapping source and destination: bytes 0..5 written at 2.
    EXPECT_EQ(6, buf.write(buf.getString().getConstStr(), 6));
    EXPECT_EQ("ababcdef", str(buf.getString()));

    // Bytes from a piece of the buffer that overwriting will merge away.
    const char *pOld = buf.getString().getConstStr();
    buf.write(std::string(300, '.').data(), 300);
    buf.setPos(1);
    EXPECT_EQ(4, buf.write(pOld, 4));
    EXPECT_EQ("aababdef.", str(buf.getString()).substr(0, 9));
    EXPECT_EQ(308, buf.getSize());
}

TEST(MemBuf, HostileArgumentsStayInside) {
    Ka::MemBuf buf(Ka::String("abc"));
    char c = 'q';
    EXPECT_EQ(0, buf.read(&c, -1));
    EXPECT_EQ(0, buf.read(nullptr, 3));
    EXPECT_EQ(0, buf.read(&c, 0));
    EXPECT_EQ(0, buf.write(&c, -7));
    EXPECT_EQ(0, buf.write(nullptr, 3));
    EXPECT_EQ(0, buf.tell());
    EXPECT_EQ("abc", str(buf.getString()));
    // No overflow at the ends of the integer range.
    buf.setPos(2);
    buf.seek(INT_MAX);
    EXPECT_EQ(3, buf.tell());
    buf.seek(INT_MIN);
    EXPECT_EQ(0, buf.tell());
    buf.setPosEnd(INT_MIN);
    EXPECT_EQ(3, buf.tell());
    buf.setPosEnd(INT_MAX);
    EXPECT_EQ(0, buf.tell());
    buf.setPos(INT_MIN);
    EXPECT_EQ(0, buf.tell());
    // A huge count never copies more than the data holds.
    char sOut[3];
    EXPECT_EQ(3, buf.read(sOut, INT_MAX));
    EXPECT_EQ("abc", std::string(sOut, 3));
}

} // namespace
