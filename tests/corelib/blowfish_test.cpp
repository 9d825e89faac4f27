// Ka::Blowfish and Ka::CipherModeCfb: published vectors, Crypto++ as an
// oracle, block buffering over short reads, and the destructor's flush.
#include "ka/blowfish.h"
#include "ka/ciphermodecfb.h"
#include "ka/exception.h"
#include "ka/membuf.h"

#include <cryptopp/blowfish.h>
#include <cryptopp/modes.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>

namespace {

using Cfb = Ka::CipherModeCfb<8, Ka::Blowfish<1>>;

std::string unhex(const std::string &sHex) {
    std::string s;
    for (size_t i = 0; i + 1 < sHex.size(); i += 2)
        s.push_back(char(std::stoi(sHex.substr(i, 2), nullptr, 16)));
    return s;
}

std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), s.getSize());
}

Ka::String kstr(const std::string &s) {
    return Ka::String(s.data(), int(s.size()));
}

std::string ecb(const std::string &sKey, std::string sBlock, bool bEncrypt) {
    Ka::BlowfishCore core;
    core.setKey(sKey.data(), int(sKey.size()));
    uint8_t *p = reinterpret_cast<uint8_t *>(sBlock.data());
    if (bEncrypt)
        core.encryptBlock(p);
    else
        core.decryptBlock(p);
    return sBlock;
}

// A filter keyed and loaded with its initial vector, as the vault store does.
struct Keyed {
    Cfb filter;
    Keyed(Ka::Stream &rNext, const std::string &sKey, const std::string &sIv) : filter(rNext) {
        filter.setKey(kstr(sKey));
        std::memcpy(filter.V, sIv.data(), 8);
    }
};

std::string cryptoppCfb(const std::string &sKey, const std::string &sIv, const std::string &sIn,
                        bool bEncrypt) {
    const auto *pKey = reinterpret_cast<const CryptoPP::byte *>(sKey.data());
    const auto *pIv = reinterpret_cast<const CryptoPP::byte *>(sIv.data());
    std::string sOut(sIn.size(), '\0');
    auto *pOut = reinterpret_cast<CryptoPP::byte *>(sOut.data());
    const auto *pIn = reinterpret_cast<const CryptoPP::byte *>(sIn.data());
    if (bEncrypt) {
        CryptoPP::CFB_Mode<CryptoPP::Blowfish>::Encryption c(pKey, sKey.size(), pIv, 8);
        c.ProcessData(pOut, pIn, sIn.size());
    } else {
        CryptoPP::CFB_Mode<CryptoPP::Blowfish>::Decryption c(pKey, sKey.size(), pIv, 8);
        c.ProcessData(pOut, pIn, sIn.size());
    }
    return sOut;
}

std::string randomBytes(std::mt19937 &rng, size_t n) {
    std::string s(n, '\0');
    for (char &c : s)
        c = char(rng());
    return s;
}

// A memory stream that hands out at most iAvailable bytes in all and at
// most iMaxRead per call, like a socket with little data yet.
class Trickle : public Ka::MemBuf {
public:
    using Ka::MemBuf::MemBuf;
    int iAvailable = 1 << 30;
    int iMaxRead = 1 << 30;
    int read(void *pBuf, int nBytes) override {
        int n = Ka::MemBuf::read(pBuf, std::min({nBytes, iMaxRead, iAvailable}));
        iAvailable -= n;
        return n;
    }
};

// A memory stream whose write and flush fail once armed, like a full disk.
class Failing : public Ka::MemBuf {
public:
    bool bFail = false;
    int write(const void *pBuf, int nBytes) override {
        if (bFail)
            throw Ka::FileException(28, "No space left on device");
        return Ka::MemBuf::write(pBuf, nBytes);
    }
    void flush() override {
        if (bFail)
            throw Ka::FileException(28, "No space left on device");
    }
};

// Eric Young's electronic-codebook set: key, plaintext, ciphertext.
const char *const aEcbVectors[][3] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

// The variable-key set: plaintext FEDCBA9876543210 under the first 1 to 24
// bytes of one key.
const char *const sVarKey = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
const char *const aVarKeyCipher[24] = {
    "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
    "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
    "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
    "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
    "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
    "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
};

TEST(BlowfishKnownAnswers, EcbSet) {
    for (const auto &v : aEcbVectors) {
        SCOPED_TRACE(v[0]);
        EXPECT_EQ(unhex(v[2]), ecb(unhex(v[0]), unhex(v[1]), true));
        EXPECT_EQ(unhex(v[1]), ecb(unhex(v[0]), unhex(v[2]), false));
    }
}

TEST(BlowfishKnownAnswers, VariableKeySet) {
    std::string sKey = unhex(sVarKey), sPlain = unhex("FEDCBA9876543210");
    for (int n = 1; n <= 24; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(unhex(aVarKeyCipher[n - 1]), ecb(sKey.substr(0, size_t(n)), sPlain, true));
        EXPECT_EQ(sPlain, ecb(sKey.substr(0, size_t(n)), unhex(aVarKeyCipher[n - 1]), false));
    }
}

TEST(BlowfishKnownAnswers, Cfb64Vector) {
    const std::string sKey = unhex("0123456789ABCDEFF0E1D2C3B4A59687");
    const std::string sIv = unhex("FEDCBA9876543210");
    const std::string sPlain("7654321 Now is the time for \0", 29);
    const std::string sCipher = unhex("E73214A2822139CAF26ECF6D2EB9E76E3DA3DE04D1517200519D57A6C3");

    Ka::MemBuf buf;
    Keyed enc(buf, sKey, sIv);
    EXPECT_EQ(29, enc.filter.write(sPlain.data(), 29));
    EXPECT_EQ(24, buf.getSize());
    enc.filter.close();
    ASSERT_EQ(32, buf.getSize());
    EXPECT_EQ(sCipher, str(buf.getString()).substr(0, 29));

    buf.setPos(0);
    Keyed dec(buf, sKey, sIv);
    EXPECT_EQ(sPlain + std::string(3, '\0'), str(dec.filter.readAll()));

    // The published ciphertext alone: its trailing partial block is not
    // returned.
    Ka::MemBuf published(kstr(sCipher));
    Keyed dec2(published, sKey, sIv);
    EXPECT_EQ(sPlain.substr(0, 24), str(dec2.filter.readAll()));
}

TEST(BlowfishKeySchedule, EmptyKeyKeepsInitialTables) {
    Ka::BlowfishCore core;
    core.setKey("abcd", 4);
    core.setKey(nullptr, 0);
    EXPECT_EQ(0, std::memcmp(core.getP(), Ka::BlowfishCore::aInitialP, 18 * 4));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(0, std::memcmp(core.getS(i), Ka::BlowfishCore::aInitialS[i], 256 * 4));
    // A null key with a count and a negative count are empty keys too.
    Ka::BlowfishCore other;
    other.setKey(nullptr, 16);
    EXPECT_EQ(0, std::memcmp(other.getP(), Ka::BlowfishCore::aInitialP, 18 * 4));
    other.setKey("abcd", -4);
    EXPECT_EQ(0, std::memcmp(other.getP(), Ka::BlowfishCore::aInitialP, 18 * 4));
    EXPECT_EQ(0x243f6a88u, Ka::BlowfishCore::aInitialP[0]);
    EXPECT_EQ(0x3ac372e6u, Ka::BlowfishCore::aInitialS[3][255]);
}

TEST(BlowfishKeySchedule, KeyCyclesOverSeventyTwoBytes) {
    std::mt19937 rng(7);
    const std::string sKey = randomBytes(rng, 100);
    const std::string sBlock = randomBytes(rng, 8);
    const std::string sFull = ecb(sKey, sBlock, true);
    // Bytes after the 72nd have no effect...
    EXPECT_EQ(sFull, ecb(sKey.substr(0, 72), sBlock, true));
    // ...but every byte up to it has: there is no 56-byte cap.
    EXPECT_NE(sFull, ecb(sKey.substr(0, 71), sBlock, true));
    EXPECT_NE(ecb(sKey.substr(0, 57), sBlock, true), ecb(sKey.substr(0, 56), sBlock, true));
    // A short key repeats: 4 bytes act like the same 4 bytes eighteen times.
    std::string sRepeated;
    for (int i = 0; i < 18; ++i)
        sRepeated += sKey.substr(0, 4);
    EXPECT_EQ(ecb(sKey.substr(0, 4), sBlock, true), ecb(sRepeated, sBlock, true));
}

TEST(BlowfishCfbOracle, RandomKeysAndSplitsAgreeWithCryptopp) {
    std::mt19937 rng(2024);
    for (int iRound = 0; iRound < 60; ++iRound) {
        const std::string sKey = randomBytes(rng, 4 + rng() % 53);
        const std::string sIv = randomBytes(rng, 8);
        const size_t nPlain = rng() % 3000;
        const std::string sPlain = randomBytes(rng, nPlain);
        std::string sPadded = sPlain + std::string((8 - nPlain % 8) % 8, '\0');
        const std::string sExpected = cryptoppCfb(sKey, sIv, sPadded, true);
        SCOPED_TRACE(iRound);

        Ka::MemBuf buf;
        {
            Keyed enc(buf, sKey, sIv);
            for (size_t i = 0; i < nPlain;) {
                size_t n = std::min<size_t>(rng() % (rng() % 2 ? 9 : 700), nPlain - i);
                ASSERT_EQ(int(n), enc.filter.write(sPlain.data() + i, int(n)));
                i += n;
                // Every complete block is below before write returns.
                EXPECT_EQ(int(i / 8 * 8), buf.getSize());
            }
            enc.filter.close();
        }
        ASSERT_EQ(sExpected, str(buf.getString()));

        Ka::MemBuf src(kstr(sExpected));
        Keyed dec(src, sKey, sIv);
        std::string sGot;
        char aBuf[800];
        for (int n = 1; n > 0;) {
            n = dec.filter.read(aBuf, int(1 + rng() % (rng() % 2 ? 10 : 800)));
            sGot.append(aBuf, size_t(n));
        }
        EXPECT_EQ(sPadded, sGot);
        EXPECT_EQ(sPadded, cryptoppCfb(sKey, sIv, sExpected, false));
    }
}

// Blowfish through the block machinery alone, without the word interface,
// so that the feedback mode takes its general block-by-block path.
class PlainBlowfish : public Ka::Cipher<8> {
public:
    explicit PlainBlowfish(Ka::Stream &rNext) : Ka::Cipher<8>(rNext) {}
    void setKey(const Ka::String &sKey) { core.setKey(sKey.getConstStr(), sKey.getSize()); }
    void encipher(uint8_t *pBlock) override { core.encryptBlock(pBlock); }
    void decipher(uint8_t *pBlock) override { core.decryptBlock(pBlock); }

private:
    Ka::BlowfishCore core;
};

TEST(BlowfishCfbOracle, GeneralBlockPathAgreesWithCryptopp) {
    std::mt19937 rng(5);
    const std::string sKey = randomBytes(rng, 16), sIv = randomBytes(rng, 8);
    const std::string sPlain = randomBytes(rng, 800);
    const std::string sExpected = cryptoppCfb(sKey, sIv, sPlain, true);

    Ka::MemBuf buf;
    Ka::CipherModeCfb<8, PlainBlowfish> enc(buf);
    enc.setKey(kstr(sKey));
    std::memcpy(enc.V, sIv.data(), 8);
    enc.write(sPlain.data(), 3);
    enc.write(sPlain.data() + 3, 797);
    EXPECT_EQ(sExpected, str(buf.getString()));

    buf.setPos(0);
    Ka::CipherModeCfb<8, PlainBlowfish> dec(buf);
    dec.setKey(kstr(sKey));
    std::memcpy(dec.V, sIv.data(), 8);
    EXPECT_EQ(sPlain, str(dec.readAll()));
}

TEST(BlowfishFilter, CodebookOrderAgreesWithCryptopp) {
    // The Blowfish filter on its own enciphers every block independently.
    std::mt19937 rng(6);
    const std::string sKey = randomBytes(rng, 10), sPlain = randomBytes(rng, 61);
    CryptoPP::BlowfishEncryption ref(reinterpret_cast<const CryptoPP::byte *>(sKey.data()),
                                     sKey.size());
    std::string sExpected = sPlain + std::string(3, '\0');
    for (size_t i = 0; i < sExpected.size(); i += 8) {
        auto *p = reinterpret_cast<CryptoPP::byte *>(sExpected.data() + i);
        ref.ProcessBlock(p);
    }
    Ka::MemBuf buf;
    {
        Ka::Blowfish<1> enc(buf);
        enc.setKey(kstr(sKey));
        enc.write(sPlain.data(), int(sPlain.size()));
    }
    EXPECT_EQ(sExpected, str(buf.getString()));
    buf.setPos(0);
    Ka::Blowfish<1> dec(buf);
    dec.setKey(kstr(sKey));
    EXPECT_EQ(sPlain + std::string(3, '\0'), str(dec.readAll()));
}

TEST(BlowfishCfbFilter, PartialLastBlockIsZeroPadded) {
    Ka::MemBuf buf;
    Keyed enc(buf, "key", "ivivivIV");
    enc.filter.write("thirteen byte", 13);
    EXPECT_EQ(8, buf.getSize());
    EXPECT_EQ(0, enc.filter.stop());
    ASSERT_EQ(16, buf.getSize());
    enc.filter.flush();
    EXPECT_EQ(16, buf.getSize());

    buf.setPos(0);
    Keyed dec(buf, "key", "ivivivIV");
    EXPECT_EQ(std::string("thirteen byte\0\0\0", 16), str(dec.filter.readAll()));
}

TEST(BlowfishCfbFilter, ShortReadsBelowKeepPartialBlocks) {
    std::mt19937 rng(11);
    const std::string sKey = randomBytes(rng, 20), sIv = randomBytes(rng, 8);
    const std::string sPlain = randomBytes(rng, 4096);
    Trickle src(kstr(cryptoppCfb(sKey, sIv, sPlain, true)));
    src.iAvailable = 5;
    Keyed dec(src, sKey, sIv);
    char aBuf[4096];
    // Nothing complete yet: nothing delivered, the 5 bytes stay buffered.
    EXPECT_EQ(0, dec.filter.read(aBuf, 100));
    src.iAvailable = 1 << 30;
    std::string sGot;
    while (sGot.size() < sPlain.size()) {
        src.iMaxRead = int(1 + rng() % 30);
        int n = dec.filter.read(aBuf, int(rng() % 200));
        sGot.append(aBuf, size_t(n));
    }
    EXPECT_EQ(sPlain, sGot);
}

TEST(BlowfishCfbFilter, TrailingPartialBlockIsNeverReturned) {
    const std::string sCipher = cryptoppCfb("four", "ivivivIV", std::string(16, 'p'), true);
    Ka::MemBuf src(kstr(sCipher.substr(0, 12)));
    Keyed dec(src, "four", "ivivivIV");
    char aBuf[100];
    EXPECT_EQ(8, dec.filter.read(aBuf, 100));
    EXPECT_EQ(std::string(8, 'p'), std::string(aBuf, 8));
    EXPECT_EQ(0, dec.filter.read(aBuf, 100));
}

TEST(BlowfishCfbFilter, BadArgumentsTouchNothing) {
    Ka::MemBuf buf(Ka::String("0123456789abcdef"));
    Keyed f(buf, "key", "ivivivIV");
    EXPECT_EQ(0, f.filter.write(nullptr, 5));
    EXPECT_EQ(0, f.filter.write("abc", -1));
    EXPECT_EQ(0, f.filter.write("abc", 0));
    EXPECT_EQ(0, f.filter.read(nullptr, 5));
    char c = 'x';
    EXPECT_EQ(0, f.filter.read(&c, -8));
    EXPECT_EQ('x', c);
    EXPECT_EQ(0, buf.tell());
    f.filter.flush();
    EXPECT_EQ(16, buf.getSize());
}

TEST(BlowfishCfbLifecycle, DestructorPadsWithTheFeedbackRules) {
    const std::string sKey = "destructor", sIv = "01234567";
    const std::string sPlain = "nineteen bytes here";
    Ka::MemBuf buf;
    {
        Keyed enc(buf, sKey, sIv);
        enc.filter.write(sPlain.data(), int(sPlain.size()));
    }
    std::string sPadded = sPlain + std::string(5, '\0');
    EXPECT_EQ(cryptoppCfb(sKey, sIv, sPadded, true), str(buf.getString()));
}

TEST(BlowfishCfbLifecycle, FailingStreamBelow) {
    Failing disk;
    // The explicit close reports the failure...
    {
        Keyed enc(disk, "k", "12345678");
        enc.filter.write("abc", 3);
        disk.bFail = true;
        EXPECT_THROW(enc.filter.close(), Ka::FileException);
    }
    // ...the destructor swallows it, also while another exception unwinds.
    disk.bFail = false;
    EXPECT_THROW(
        {
            Keyed enc(disk, "k", "12345678");
            enc.filter.write("abc", 3);
            disk.bFail = true;
            throw std::runtime_error("unwinding");
        },
        std::runtime_error);
    // A write that completes a block passes the failure through.
    Keyed enc(disk, "k", "12345678");
    EXPECT_THROW(enc.filter.write("12345678", 8), Ka::FileException);
}

} // namespace
