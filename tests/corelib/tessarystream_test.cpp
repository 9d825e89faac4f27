// Ka::TessaryStream: positions before the start and past the end, rewrites,
// size changes and the stream's own queries.
#include "ka/exception.h"
#include "ka/membuf.h"
#include "ka/tessary.h"

#include "support/bytes.h"
#include "support/checks.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

using support::toStd;

std::string pattern(int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += char('a' + i % 26);
    return s;
}

class TessaryStreamTest : public testing::Test {
protected:
    Ka::MemBuf buf;
    Ka::Tessary t{buf, 64, 2};
    int iId = t.createStream(0);
    Ka::TessaryStream s = t.openStream(iId);

    std::string contents() {
        Ka::TessaryStream r = t.openStream(iId);
        return toStd(r.readAll());
    }
};

TEST_F(TessaryStreamTest, RewritingKeepsTheSizeAndTheBytesAfter) {
    s.write(Ka::String(pattern(3000).c_str()));
    EXPECT_EQ(3000, s.tell());
    s.setPos(0);
    s.write(Ka::String("0123456789"));
    EXPECT_EQ(3000, s.getSize());
    EXPECT_EQ("0123456789" + pattern(3000).substr(10), contents());
    s.setPosEnd(5);
    EXPECT_EQ(2995, s.tell());
    EXPECT_FALSE(s.isEos());
    s.seek(5);
    EXPECT_TRUE(s.isEos());
    char c;
    EXPECT_EQ(0, s.read(&c, 1));
}

TEST_F(TessaryStreamTest, WritingPastTheEndFillsTheGapWithZeros) {
    s.write(Ka::String(pattern(300).c_str()));
    s.setSize(10); // the kept block still holds old bytes past 10
    s.setPos(200);
    s.write(Ka::String("Z"));
    EXPECT_EQ(201, s.getSize());
    EXPECT_EQ(pattern(10) + std::string(190, '\0') + "Z", contents());
    EXPECT_EQ(t.getNumUsedBlocks(), 1 + 4);
}

TEST_F(TessaryStreamTest, PositionsOutsideTheStreamNeverReachOtherBytes) {
    s.write(Ka::String("abc"));
    s.setPos(-1);
    char aBuf[4];
    EXPECT_EQ("Container stream position -1 is out of range.",
              support::messageOf([&] { s.read(aBuf, 4); }));
    EXPECT_EQ("Container stream position -1 is out of range.",
              support::messageOf([&] { s.write("x", 1); }));
    s.seek(INT_MIN);
    EXPECT_EQ(INT_MIN, s.tell());
    s.setPos(INT_MAX - 5);
    EXPECT_EQ(0, s.read(aBuf, 4));
    EXPECT_EQ("Container stream position 2147483642 is out of range.",
              support::messageOf([&] { s.write("0123456789", 10); }));
    // A gap the container cannot hold is refused before anything is written.
    s.setPos(INT_MAX - 100);
    EXPECT_EQ(0u, support::messageOf([&] {
                      s.write("0123456789", 10);
                  }).find("The container cannot take 33554430 more blocks"));
    EXPECT_EQ(3, t.getNumBlocks());
    s.setPosEnd(INT_MIN);
    EXPECT_EQ(INT_MAX, s.tell());
    EXPECT_EQ("abc", contents());
    s.setSize(-5);
    EXPECT_EQ(0, s.getSize());
    EXPECT_EQ(0, s.tell());
}

TEST_F(TessaryStreamTest, ReportsItsContainerAndStream) {
    EXPECT_EQ("1", toStd(s.getLocation()));
    EXPECT_EQ(64, s.getBlockSize());
    EXPECT_TRUE(s.isEos());
    EXPECT_TRUE(s.canWrite() && s.isSeekable() && s.isOpen());
    // The container refuses growth beyond 32-bit positions up front.
    EXPECT_NE("(no exception)", support::messageOf([&] { s.setSize(INT_MAX); }));
    EXPECT_EQ(0, s.getSize());
    EXPECT_EQ(3, t.getNumBlocks());
}

} // namespace
