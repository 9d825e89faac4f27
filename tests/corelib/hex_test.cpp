// Ka::Hex: digits and grouping on writing, lenient decoding on reading.
#include "ka/hex.h"
#include "ka/membuf.h"
#include "support/bytes.h"
#include "support/trickle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

constexpr auto &kstr = support::toKa;
constexpr auto &str = support::toStd;

std::string hexOf(const std::string &sBytes, bool bUpper, int iChunk) {
    Ka::MemBuf mb;
    Ka::Hex h(mb, bUpper, iChunk);
    EXPECT_EQ(int(sBytes.size()), h.write(sBytes.data(), int(sBytes.size())));
    EXPECT_EQ(int(sBytes.size()), h.stop());
    return str(mb.getString());
}

std::string bytesOf(const std::string &sText, int nWanted) {
    Ka::MemBuf mb(kstr(sText));
    Ka::Hex h(mb, false, -1);
    std::string sOut(size_t(nWanted), '\0');
    sOut.resize(size_t(h.read(sOut.data(), nWanted)));
    return sOut;
}

TEST(Hex, GroupsOfTwoUpperCase) {
    EXPECT_EQ("01AB FF10", hexOf("\x01\xab\xff\x10", true, 2));
    EXPECT_EQ("\x01\xab\xff\x10", bytesOf("01ab ff10", 10));
    EXPECT_EQ("01abff10", hexOf("\x01\xab\xff\x10", false, 0));
    EXPECT_EQ("01abff10", hexOf("\x01\xab\xff\x10", false, -1));
    EXPECT_EQ("01 ab ff 10", hexOf("\x01\xab\xff\x10", false, 1));
}

TEST(Hex, EveryByteValueAgainstPrintf) {
    std::string sAll, sUpper, sLower;
    for (int i = 0; i < 256; ++i) {
        sAll.push_back(char(i));
        char aDigits[3];
        std::snprintf(aDigits, sizeof(aDigits), "%02X", i);
        sUpper += aDigits;
        std::snprintf(aDigits, sizeof(aDigits), "%02x", i);
        sLower += aDigits;
    }
    EXPECT_EQ(sUpper, hexOf(sAll, true, 0));
    EXPECT_EQ(sLower, hexOf(sAll, false, 0));
    EXPECT_EQ(sAll, bytesOf(sUpper, 300));
    EXPECT_EQ(sAll, bytesOf(sLower, 300));
}

TEST(Hex, GroupingAcrossWrites) {
    Ka::MemBuf mb;
    Ka::Hex h(mb, false, 3);
    for (char c = 'a'; c < 'h'; ++c)
        h.write(&c, 1);
    EXPECT_EQ("616263 646566 67", str(mb.getString()));
    EXPECT_EQ(7, h.stop());
    h.start();
    h.write("abcd", 4); // a new start begins a new first group
    EXPECT_EQ("616263 646566 67616263 64", str(mb.getString()));
}

TEST(Hex, LongWriteMatchesByteByByte) {
    std::string sData;
    for (int i = 0; i < 5000; ++i)
        sData.push_back(char(i * 7));
    Ka::MemBuf mb;
    Ka::Hex h(mb, true, 5);
    for (char c : sData)
        h.write(&c, 1);
    EXPECT_EQ(str(mb.getString()), hexOf(sData, true, 5));
    EXPECT_EQ(sData, bytesOf(hexOf(sData, true, 5), 6000));
}

TEST(Hex, ReadingSkipsWhitespaceAndNeverThrows) {
    EXPECT_EQ("\xde\xad\xbe\xef", bytesOf(" d\te\r\na D\n\nB eE F ", 10));
    // Other characters decode by the same arithmetic, bytes above 127 too.
    EXPECT_EQ("\x53", bytesOf("zz", 5));
    EXPECT_EQ("\x28", bytesOf("\xff\xff", 5));
    EXPECT_EQ("\x90", bytesOf("\x80\x30", 5));
    // A digit without its partner is dropped at the end.
    EXPECT_EQ("\xab", bytesOf("abc", 5));
    EXPECT_EQ("", bytesOf("", 5));
}

TEST(Hex, PairSplitAcrossReads) {
    support::TrickleStream ts(kstr("4a 6b\n7c"), 1);
    Ka::Hex h(ts, false, 0);
    std::string sOut;
    char c;
    for (int i = 0; i < 100 && !ts.isEos(); ++i) {
        if (h.read(&c, 1) == 1)
            sOut.push_back(c);
    }
    EXPECT_EQ("\x4a\x6b\x7c", sOut);
}

TEST(Hex, ArgumentsOutsideABufferAreRefused) {
    Ka::MemBuf mb(kstr("abcd"));
    Ka::Hex h(mb, false, 0);
    char aBuf[2];
    EXPECT_EQ(0, h.read(nullptr, 2));
    EXPECT_EQ(0, h.read(aBuf, -1));
    EXPECT_EQ(0, h.write(nullptr, 3));
    EXPECT_EQ(0, h.write(aBuf, -3));
    EXPECT_EQ(4, mb.getSize());
    EXPECT_EQ(2, h.read(aBuf, 2));
}

} // namespace
