// Ka::Sha1: the published digests, padding boundaries, Crypto++ as an oracle
// for pieces of any size, and the compression function on its own.
#include "ka/membuf.h"
#include "ka/sha1.h"

#include <cryptopp/sha.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace {

std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), s.getSize());
}

std::string hexOf(const std::string &s) {
    static const char aDigits[] = "0123456789abcdef";
    std::string sHex;
    for (unsigned char c : s) {
        sHex.push_back(aDigits[c >> 4]);
        sHex.push_back(aDigits[c & 15]);
    }
    return sHex;
}

std::string cryptoppSha1(const std::string &s) {
    std::string sDigest(CryptoPP::SHA1::DIGESTSIZE, '\0');
    CryptoPP::SHA1().CalculateDigest(reinterpret_cast<CryptoPP::byte *>(sDigest.data()),
                                     reinterpret_cast<const CryptoPP::byte *>(s.data()), s.size());
    return sDigest;
}

std::string sha1Hex(const std::string &s) {
    Ka::Sha1 h;
    h.addData(s.data(), int(s.size()));
    return str(h.getHexResult());
}

TEST(Sha1KnownAnswers, PublishedExamples) {
    EXPECT_EQ("da39a3ee5e6b4b0d3255bfef95601890afd80709", sha1Hex(""));
    EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", sha1Hex("abc"));
    EXPECT_EQ("84983e441c3bd26ebaae4aa1f95129e5e54670f1",
              sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
    EXPECT_EQ("34aa973cd4c4daa4f61eeb2bdbad27316534016f", sha1Hex(std::string(1000000, 'a')));

    // The million letters fed a thousand at a time, through the string form.
    Ka::Sha1 h;
    Ka::String sThousand(std::string(1000, 'a').c_str());
    for (int i = 0; i < 1000; ++i)
        h.addData(sThousand);
    EXPECT_EQ("34aa973cd4c4daa4f61eeb2bdbad27316534016f", str(h.getHexResult()));
}

TEST(Sha1KnownAnswers, CompressionFunctionAlone) {
    // "abc" padded by hand to one block: the chaining words become the digest.
    uint8_t aBlock[64] = {'a', 'b', 'c', 0x80};
    aBlock[63] = 24;
    uint32_t aState[5];
    std::copy(Ka::Sha1::aInitial, Ka::Sha1::aInitial + 5, aState);
    Ka::Sha1::compress(aState, aBlock, 1);
    const uint32_t aExpected[5] = {0xa9993e36, 0x4706816a, 0xba3e2571, 0x7850c26c, 0x9cd0d89d};
    EXPECT_TRUE(std::equal(aState, aState + 5, aExpected));
    // No blocks: no change.
    Ka::Sha1::compress(aState, nullptr, 0);
    EXPECT_TRUE(std::equal(aState, aState + 5, aExpected));
}

TEST(Sha1Oracle, EveryLengthAroundThePaddingBoundaries) {
    // 55, 56, 63 and 64 bytes and their neighbours in the first three blocks.
    std::string s;
    for (int n = 0; n <= 200; ++n) {
        EXPECT_EQ(hexOf(cryptoppSha1(s)), sha1Hex(s)) << n;
        s.push_back(char(n * 7 + 1));
    }
}

TEST(Sha1Oracle, RandomPiecesAgreeWithCryptopp) {
    std::mt19937 rng(99);
    for (int iRound = 0; iRound < 50; ++iRound) {
        std::string s(rng() % 5000, '\0');
        for (char &c : s)
            c = char(rng());
        Ka::Sha1 h;
        for (size_t i = 0; i < s.size();) {
            // Pieces of all sizes, often ending on a block boundary.
            size_t n = rng() % 3 == 0 ? 64 - i % 64 : rng() % (rng() % 2 ? 70 : 700);
            n = std::min(n, s.size() - i);
            h.addData(s.data() + i, int(n));
            i += n;
        }
        EXPECT_EQ(cryptoppSha1(s), str(h.getResult())) << iRound;
    }
}

TEST(Sha1Interface, ResultLeavesTheHashRunning) {
    Ka::Sha1 h;
    h.addData("ab", 2);
    Ka::String sFirst = h.getResult();
    EXPECT_EQ(sFirst, h.getResult());
    h.addData("c", 1);
    EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", str(h.getHexResult()));
    h.reset();
    EXPECT_EQ("da39a3ee5e6b4b0d3255bfef95601890afd80709", str(h.getHexResult()));
}

TEST(Sha1Interface, SaltAndBadArgumentsChangeNothing) {
    Ka::Sha1 h;
    h.setSalt(Ka::String("pepper"));
    h.addData("a", 1);
    h.addData(nullptr, 5);
    h.addData("xyz", -3);
    h.addData("xyz", 0);
    h.addData("bc", 2);
    EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", str(h.getHexResult()));
}

TEST(Sha1Interface, WriteResultWritesTheRawDigest) {
    Ka::Sha1 h;
    h.addData("abc", 3);
    Ka::MemBuf buf;
    h.writeResult(buf);
    EXPECT_EQ(20, buf.getSize());
    EXPECT_EQ(h.getResult(), buf.getString());
    EXPECT_EQ(cryptoppSha1("abc"), str(buf.getString()));
}

} // namespace
