// Ka::Base64: published vectors, line breaks, padding, damaged input and
// failing streams below.
#include "ka/base64.h"
#include "ka/exception.h"
#include "ka/membuf.h"
#include "support/bytes.h"
#include "support/checks.h"
#include "support/trickle.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using support::messageOf;

constexpr auto &kstr = support::toKa;
constexpr auto &str = support::toStd;

// Writes in pieces of iStep bytes, then stops.
std::string encode(const std::string &sPlain, int iChars = 0, size_t iStep = 1000000) {
    Ka::MemBuf mb;
    Ka::Base64 b(mb, iChars);
    int nWritten = 0;
    for (size_t i = 0; i < sPlain.size(); i += iStep) {
        std::string sPiece = sPlain.substr(i, iStep);
        nWritten += b.write(sPiece.data(), int(sPiece.size()));
    }
    EXPECT_EQ(nWritten, mb.getSize());
    int iTotal = b.stop();
    EXPECT_EQ(mb.getSize(), iTotal);
    EXPECT_EQ(iTotal, b.stop()); // a second stop adds nothing
    return str(mb.getString());
}

// Reads in pieces of iStep bytes until the filter reports its end.
std::string decode(Ka::Stream &rBelow, int iStep = 1000) {
    Ka::Base64 b(rBelow, 0);
    std::string sOut;
    std::vector<char> aBuf(static_cast<size_t>(iStep));
    for (int iGuard = 0; !b.isEos() && iGuard < 1000000; ++iGuard) {
        int n = b.read(aBuf.data(), iStep);
        if (n == 0 && rBelow.isEos())
            break;
        sOut.append(aBuf.data(), size_t(n));
    }
    return sOut;
}

std::string decode(const std::string &sText, int iStep = 1000) {
    Ka::MemBuf mb(kstr(sText));
    return decode(mb, iStep);
}

const std::pair<const char *, const char *> aRfcVectors[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};

TEST(Base64Vectors, Rfc4648BothWays) {
    for (const auto &[sPlain, sCoded] : aRfcVectors) {
        SCOPED_TRACE(sPlain);
        EXPECT_EQ(sCoded, encode(sPlain));
        EXPECT_EQ(sCoded, encode(sPlain, 0, 1));
        EXPECT_EQ(sPlain, decode(sCoded));
        EXPECT_EQ(sPlain, decode(sCoded, 1));
    }
}

TEST(Base64Vectors, EveryByteValue) {
    std::string sAll;
    for (int i = 0; i < 256; ++i)
        sAll.push_back(char(i));
    // Known from any standard encoder (base64 -w0).
    const std::string sCoded =
        "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+P0BB"
        "QkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3BxcnN0dXZ3eHl6e3x9fn+AgYKD"
        "hIWGh4iJiouMjY6PkJGSk5SVlpeYmZqbnJ2en6ChoqOkpaanqKmqq6ytrq+wsbKztLW2t7i5uru8vb6/wMHCw8TF"
        "xsfIycrLzM3Oz9DR0tPU1dbX2Nna29zd3t/g4eLj5OXm5+jp6uvs7e7v8PHy8/T19vf4+fr7/P3+/w==";
    EXPECT_EQ(sCoded, encode(sAll, 0, 7));
    EXPECT_EQ(sAll, decode(sCoded, 5));
}

TEST(Base64Write, ReturnsTheCharactersWrittenBelow) {
    Ka::MemBuf mb;
    Ka::Base64 b(mb, 0);
    EXPECT_EQ(0, b.write("ab", 2));
    EXPECT_EQ(4, b.write("c", 1));
    EXPECT_EQ(0, b.write("d", 1));
    EXPECT_EQ(8, b.write("efghijk", 7)); // efg, hij; k pending
    EXPECT_EQ("YWJjZGVmZ2hpams=", [&] {
        b.stop();
        return str(mb.getString());
    }());
}

TEST(Base64Write, LineBreaks) {
    EXPECT_EQ("YWJj\r\nZGVm\r\n", encode("abcdef", 4));
    EXPECT_EQ("YWJj\r\nZGVm\r\nZw==\r\n", encode("abcdefg", 4, 1));
    EXPECT_EQ("YWJjZG\r\nVm", encode("abcdef", 6));
    EXPECT_EQ("YWJjZGVm", encode("abcdef", -5)); // negative: no line breaks

    // Lines of exactly the length, the last one without a break when short.
    std::string sPlain(200, 'x');
    std::string sFlat = encode(sPlain);
    std::string sLines = encode(sPlain, 76, 13);
    std::string sJoined;
    size_t iPos = 0;
    for (size_t iEnd; (iEnd = sLines.find("\r\n", iPos)) != std::string::npos; iPos = iEnd + 2) {
        EXPECT_EQ(76u, iEnd - iPos);
        sJoined += sLines.substr(iPos, iEnd - iPos);
    }
    sJoined += sLines.substr(iPos);
    EXPECT_EQ(sFlat, sJoined);
    EXPECT_EQ(sPlain, decode(sLines));
}

// Lines shorter than a group break once per group at most: where the line
// reaches its length, or before the whole group once more than four
// characters are owed to the next line.
TEST(Base64Write, ShortLinesBreakOncePerGroup) {
    EXPECT_EQ("Y\r\nWJj", encode("abc", 1));
    EXPECT_EQ("Y\r\nWJj\r\nZGVm\r\nZ2hp", encode("abcdefghi", 1));
    EXPECT_EQ("YW\r\nJj\r\nZGVm", encode("abcdef", 2));
    EXPECT_EQ("YW\r\nJj\r\nZA==", encode("abcd", 2, 1));
    EXPECT_EQ("YWJ\r\njZG\r\nVmZ\r\n2hp\r\namts\r\nbW4=", encode("abcdefghijklmn", 3));
    for (int iChars : {1, 2, 3})
        EXPECT_EQ("abcdefghijklmn", decode(encode("abcdefghijklmn", iChars, 5))) << iChars;
}

TEST(Base64Write, DestructorPadsAndStartRestartsTheLine) {
    Ka::MemBuf mb;
    {
        Ka::Base64 b(mb, 8);
        b.write("abcd", 4);
        b.start();
        b.write("ef", 2); // pending: d, e, f
    }
    EXPECT_EQ("YWJjZGVm", str(mb.getString()));
    mb.setString("");
    {
        Ka::Base64 b(mb, 0);
        b.write("a", 1);
    }
    EXPECT_EQ("YQ==", str(mb.getString()));
}

TEST(Base64Read, PaddingEndsTheData) {
    Ka::MemBuf mb(kstr("YWI=YWJj"));
    Ka::Base64 b(mb, 0);
    char aBuf[10];
    EXPECT_EQ(2, b.read(aBuf, 10));
    EXPECT_EQ("ab", std::string(aBuf, 2));
    EXPECT_TRUE(b.isEos());
    EXPECT_EQ(0, b.read(aBuf, 10));
    EXPECT_EQ(4, mb.tell()); // what follows stays for the next reader
    EXPECT_EQ(4, b.stop());  // characters read from below
}

TEST(Base64Read, WhitespaceAndForeignCharacters) {
    EXPECT_EQ("abcdef", decode(" YW\tJj\r\n ZGVm\n"));
    // Outside the alphabet counts as 0 ("A"), negative chars included.
    EXPECT_EQ(std::string(3, '\0'), decode("\xff\x80!~"));
    EXPECT_EQ(decode("AAAA"), decode("*.-~"));
    EXPECT_EQ("", decode("===="));
    EXPECT_EQ("", decode("  \r\n"));
}

TEST(Base64Read, CutGroupThrows) {
    EXPECT_EQ("Premature end of stream detected while decoding Base64 data.",
              messageOf<Ka::Base64Exception>([] { decode("YWI"); }));
    Ka::MemBuf mb(kstr("YWJjZ"));
    Ka::Base64 b(mb, 0);
    char aBuf[10];
    EXPECT_EQ(3, b.read(aBuf, 3));
    EXPECT_EQ("Premature end of stream detected while decoding Base64 data.",
              messageOf<Ka::Base64Exception>([&] { b.read(aBuf, 10); }));
    EXPECT_TRUE(b.isEos());
    EXPECT_EQ(0, b.read(aBuf, 10));
}

TEST(Base64Read, GroupSplitAcrossReads) {
    support::TrickleStream ts(kstr("Zm9v\r\nYmFy\r\nYg=="), 1);
    EXPECT_EQ("foobarb", decode(ts, 2));
}

TEST(Base64Direction, FirstCallFixesIt) {
    Ka::MemBuf mb;
    Ka::Base64 w(mb, 0);
    w.write("abc", 0); // an empty write fixes the direction too
    char c;
    EXPECT_EQ("Cannot read from an output stream.",
              messageOf<Ka::Base64Exception>([&] { w.read(&c, 1); }));

    Ka::Base64 r(mb, 0);
    EXPECT_EQ(0, r.read(&c, 0));
    EXPECT_EQ("Cannot write to an input stream.",
              messageOf<Ka::Base64Exception>([&] { r.write("a", 1); }));
}

TEST(Base64Direction, ArgumentsOutsideABufferAreRefused) {
    Ka::MemBuf mb;
    Ka::Base64 w(mb, 0);
    EXPECT_EQ(0, w.write(nullptr, 5));
    EXPECT_EQ(0, w.write("abcdef", -1));
    EXPECT_EQ(0, w.stop());
    Ka::MemBuf mbIn(kstr("YWJj"));
    Ka::Base64 r(mbIn, 0);
    char aBuf[3];
    EXPECT_EQ(0, r.read(nullptr, 3));
    EXPECT_EQ(0, r.read(aBuf, -3));
    EXPECT_EQ(3, r.read(aBuf, 3));
}

TEST(Base64FailingStream, DestructorSwallowsEvenWhileUnwinding) {
    support::FullStream fs(4);
    {
        Ka::Base64 b(fs, 0);
        b.write("abcd", 4);
        EXPECT_THROW(b.stop(), Ka::FileException);
    }
    EXPECT_THROW(
        {
            Ka::Base64 b(fs, 0);
            b.write("ab", 2);
            throw std::runtime_error("unwinding");
        },
        std::runtime_error);
    EXPECT_EQ("YWJj", str(fs.getString()));
}

} // namespace
