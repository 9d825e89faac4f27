// AesFilter against Crypto++'s AES-CFB used directly: whole blocks only,
// the zero fill of flush, reads that never ask beyond the block they need,
// and long sessions in both directions.
#include "sync/aesfilter.h"

#include "ka/exception.h"
#include "ka/membuf.h"
#include "support/failingstream.h"

#include <gtest/gtest.h>

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string kKey = "0123456789abcdef0123456789ABCDEF";

// One continuous CFB stream from the zero IV, as the peer keeps it.
std::string cfb(const std::string &sIn, bool bEncrypt) {
    const CryptoPP::byte aIv[16] = {};
    const auto *pKey = reinterpret_cast<const CryptoPP::byte *>(kKey.data());
    std::string sOut(sIn.size(), '\0');
    auto *pOut = reinterpret_cast<CryptoPP::byte *>(sOut.data());
    const auto *pIn = reinterpret_cast<const CryptoPP::byte *>(sIn.data());
    if (bEncrypt)
        CryptoPP::CFB_Mode<CryptoPP::AES>::Encryption(pKey, kKey.size(), aIv)
            .ProcessData(pOut, pIn, sIn.size());
    else
        CryptoPP::CFB_Mode<CryptoPP::AES>::Decryption(pKey, kKey.size(), aIv)
            .ProcessData(pOut, pIn, sIn.size());
    return sOut;
}

// A message as it travels: filled with zero bytes to whole blocks.
std::string filled(const std::string &s) {
    return s + std::string((16 - s.size() % 16) % 16, '\0');
}

std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), size_t(s.getSize()));
}

// The stream below: hands out scripted pieces (an empty piece is a read
// that returns 0), notes every read's size, takes at most iRoom bytes per
// write (all when negative) and counts flushes.
class Wire : public Ka::MemBuf {
public:
    using Ka::MemBuf::write;
    int read(void *pBuf, int nBytes) override {
        lAsked.push_back(nBytes);
        if (lPieces.empty())
            return 0;
        std::string &rPiece = lPieces.front();
        const int n = std::min(nBytes, int(rPiece.size()));
        std::copy_n(rPiece.data(), n, static_cast<char *>(pBuf));
        rPiece.erase(0, size_t(n));
        if (rPiece.empty() || n == 0)
            lPieces.pop_front();
        return n;
    }
    int write(const void *pBuf, int nBytes) override {
        const int n = iRoom < 0 ? nBytes : std::min(nBytes, iRoom);
        sSent.append(static_cast<const char *>(pBuf), size_t(n));
        return n;
    }
    void flush() override { ++iFlushes; }

    std::deque<std::string> lPieces;
    std::vector<int> lAsked;
    std::string sSent;
    int iRoom = -1;
    int iFlushes = 0;
};

std::string readSome(AesFilter &rFilter, int iMax) {
    std::string s(size_t(iMax), '\0');
    s.resize(size_t(rFilter.read(s.data(), iMax)));
    return s;
}

TEST(AesFilter, WritesWholeBlocksAndFlushFillsTheLast) {
    Wire wire;
    AesFilter filter(wire, Ka::String(kKey.data(), int(kKey.size())));
    filter.flush();
    EXPECT_EQ(wire.iFlushes, 0) << "nothing was ever written";

    EXPECT_EQ(filter.write("hello", 5), 5);
    EXPECT_EQ(wire.sSent.size(), 0u);
    filter.flush();
    EXPECT_EQ(wire.iFlushes, 1);
    EXPECT_EQ(wire.sSent, cfb(filled("hello"), true));

    const std::string sForty(40, 'x');
    EXPECT_EQ(filter.write(sForty.data(), 40), 40);
    EXPECT_EQ(wire.sSent.size(), 16u + 32u);
    filter.flush();
    // The second message goes on the same stream: no new IV.
    EXPECT_EQ(wire.sSent, cfb(filled("hello") + filled(sForty), true));
    EXPECT_EQ(filter.write(nullptr, 3), 0);
    EXPECT_EQ(filter.write("x", 0), 0);
}

TEST(AesFilter, BytesTheStreamBelowRefusesWaitForTheNextWrite) {
    Wire wire;
    AesFilter filter(wire, Ka::String(kKey.data(), int(kKey.size())));
    wire.iRoom = 0;
    const std::string sData(64, 'q');
    EXPECT_EQ(filter.write(sData.data(), 64), 64);
    filter.flush();
    EXPECT_EQ(wire.sSent, "");
    wire.iRoom = 5; // a little at a time: every byte still goes, in order
    filter.flush();
    EXPECT_EQ(wire.sSent, cfb(sData, true));
}

TEST(AesFilter, ReadsNeverAskBeyondTheBlockTheyNeed) {
    const std::string sPlain = "the first block!the second one..";
    Wire wire;
    AesFilter filter(wire, Ka::String(kKey.data(), int(kKey.size())));
    wire.lPieces = {cfb(sPlain, true)};
    EXPECT_EQ(readSome(filter, 1), "t");
    EXPECT_EQ(wire.lAsked, std::vector<int>{16});
    // 15 bytes are decrypted already; 17 more need exactly one more block.
    EXPECT_EQ(readSome(filter, 17), sPlain.substr(1, 17));
    EXPECT_EQ(wire.lAsked, (std::vector<int>{16, 16}));
}

TEST(AesFilter, APartialBlockWaitsForItsRest) {
    const std::string sPlain(48, 'p');
    const std::string sCipher = cfb(sPlain, true);
    Wire wire;
    AesFilter filter(wire, Ka::String(kKey.data(), int(kKey.size())));
    wire.lPieces = {sCipher.substr(0, 16), sCipher.substr(16, 4), ""};
    EXPECT_EQ(readSome(filter, 100), sPlain.substr(0, 16));
    EXPECT_EQ(readSome(filter, 100), "");
    wire.lPieces = {sCipher.substr(20, 9), sCipher.substr(29)};
    // A short piece is no end: the filter asks on for the rest of its block.
    EXPECT_EQ(readSome(filter, 32), sPlain.substr(16));
}

// The two directions are separate streams, both from the zero IV.
TEST(AesFilter, TheFirstAnswerStartsFromTheZeroIv) {
    Wire wire;
    AesFilter filter(wire, Ka::String(kKey.data(), int(kKey.size())));
    filter.write("request", 7);
    filter.flush();
    wire.lPieces = {cfb(filled("answer"), true)};
    EXPECT_EQ(readSome(filter, 16), filled("answer"));
}

TEST(AesFilter, LongSessionsInBothDirections) {
    std::mt19937 rng(1919);
    std::string sMessages, sTravelled;
    Wire wire;
    {
        AesFilter writer(wire, Ka::String(kKey.data(), int(kKey.size())));
        for (int iMessage = 0; iMessage < 200; ++iMessage) {
            std::string sMessage(rng() % 3000, '\0');
            for (char &c : sMessage)
                c = char(rng());
            for (size_t i = 0; i < sMessage.size();) {
                const size_t n = std::min<size_t>(1 + rng() % 700, sMessage.size() - i);
                ASSERT_EQ(writer.write(sMessage.data() + i, int(n)), int(n));
                i += n;
            }
            writer.flush();
            sTravelled += filled(sMessage);
        }
    }
    ASSERT_EQ(wire.sSent, cfb(sTravelled, true));

    // Back through a reader, in pieces that end anywhere, with empty reads.
    Wire back;
    for (size_t i = 0; i < wire.sSent.size();) {
        const size_t n = std::min<size_t>(1 + rng() % 40, wire.sSent.size() - i);
        back.lPieces.push_back(wire.sSent.substr(i, n));
        if (rng() % 4 == 0)
            back.lPieces.push_back("");
        i += n;
    }
    AesFilter reader(back, Ka::String(kKey.data(), int(kKey.size())));
    std::string sRead;
    for (int iEmpty = 0; iEmpty < 10 && sRead.size() < sTravelled.size();) {
        const std::string s = readSome(reader, 1 + int(rng() % 5000));
        iEmpty = s.empty() ? iEmpty + 1 : 0;
        sRead += s;
    }
    EXPECT_TRUE(sRead == sTravelled);
}

TEST(AesFilter, FailuresBelowPassThrough) {
    Ka::MemBuf buf(Ka::String(cfb(std::string(64, 'z'), true).c_str(), 64));
    support::FailingStream failing(buf, 10, 20);
    AesFilter filter(failing, Ka::String(kKey.data(), int(kKey.size())));
    char aBuf[64];
    EXPECT_EQ(filter.read(aBuf, 16), 16);
    // 4 bytes arrive, then the stream fails: no short answer hides that.
    EXPECT_THROW(filter.read(aBuf, 64), Ka::FileException);
    EXPECT_THROW(filter.write(aBuf, 64), Ka::FileException);
}

} // namespace
