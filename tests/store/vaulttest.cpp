// Helpers for the vault store tests: contents, container reader, oracles.
#include "vaulttest.h"

#include "ka/membuf.h"
#include "store/kastreamdevice.h"

#include <cryptopp/blowfish.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>
#include <zlib.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace vaulttest {

std::unique_ptr<Vrel::Dictionary> content(const std::string &sHtml) {
    auto pDict = std::make_unique<Vrel::Dictionary>();
    pDict->insert("data", QByteArray(sHtml.data(), qsizetype(sHtml.size())));
    return pDict;
}

std::string htmlOf(Vrel::Dictionary *pContent) {
    std::unique_ptr<Vrel::Dictionary> pOwned(pContent);
    if (!pOwned)
        return "(null)";
    const QByteArray ba = pOwned->valueStr("data");
    return std::string(ba.constData(), size_t(ba.size()));
}

std::string vrelBytes(const Vrel::Object &rObject) {
    Ka::MemBuf buf;
    KaStreamDevice dev(buf, QIODevice::WriteOnly);
    Vrel::VrelStream(&dev).writeObject(&rObject);
    return str(buf.getString());
}

namespace {

uint32_t le32(const std::string &s, size_t iPos) {
    if (iPos + 4 > s.size())
        throw std::runtime_error("readContainer: the file ends early");
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | uint8_t(s[iPos + size_t(i)]);
    return v;
}

// Reads the table through stream 0's own blocks: block 0 until stream 0's
// entry has named them all.
class TableReader {
public:
    TableReader(const std::string &sFile, size_t iBlockSize)
        : sFile(sFile), iBlockSize(iBlockSize), lBlocks{0} {}
    uint32_t next() {
        std::string s4;
        for (int i = 0; i < 4; ++i, ++iPos) {
            const size_t iBlock = iPos / iBlockSize;
            if (iBlock >= lBlocks.size())
                throw std::runtime_error("readContainer: the table runs past stream 0");
            const size_t iAt = lBlocks[iBlock] * iBlockSize + iPos % iBlockSize;
            if (iAt >= sFile.size())
                throw std::runtime_error("readContainer: the file ends early");
            s4.push_back(sFile[iAt]);
        }
        return le32(s4, 0);
    }
    void skip(size_t n) { iPos += n; }
    void setStream0(std::vector<size_t> lNew) { lBlocks = std::move(lNew); }

private:
    const std::string &sFile;
    size_t iBlockSize;
    std::vector<size_t> lBlocks;
    size_t iPos = 0;
};

} // namespace

std::map<int, std::string> readContainer(const std::string &sFile) {
    if (sFile.size() < 14 || sFile.compare(0, 4, "\x0a\xd3\xfa\x84") != 0)
        throw std::runtime_error("readContainer: no container");
    const size_t iBlockSize = le32(sFile, 6);
    TableReader table(sFile, iBlockSize);
    table.skip(10);
    const uint32_t iStreams = table.next();
    std::map<int, std::string> hStreams;
    for (uint32_t n = 0; n < iStreams; ++n) {
        const int iId = int(table.next());
        const size_t iSize = table.next();
        std::vector<size_t> lBlocks;
        for (size_t i = 0; i < (iSize + iBlockSize - 1) / iBlockSize; ++i)
            lBlocks.push_back(table.next());
        if (n == 0)
            table.setStream0(lBlocks);
        std::string sData;
        for (size_t iBlock : lBlocks)
            sData += sFile.substr(iBlock * iBlockSize, iBlockSize);
        if (sData.size() < iSize)
            throw std::runtime_error("readContainer: a stream runs past the file");
        hStreams[iId] = sData.substr(0, iSize);
    }
    return hStreams;
}

std::string sha1(const std::string &s) {
    std::string sDigest(CryptoPP::SHA1::DIGESTSIZE, '\0');
    CryptoPP::SHA1().CalculateDigest(reinterpret_cast<CryptoPP::byte *>(sDigest.data()),
                                     reinterpret_cast<const CryptoPP::byte *>(s.data()), s.size());
    return sDigest;
}

std::string oracleKey(const std::string &sPassword) {
    return sha1(sPassword) + sPassword;
}

std::string oracleIv(const std::string &sKey) {
    return sha1(sKey).substr(0, 8);
}

std::string oracleCfb(const std::string &sKey, const std::string &sIv, const std::string &sIn,
                      bool bEncrypt) {
    const auto *pKey = reinterpret_cast<const CryptoPP::byte *>(sKey.data());
    const auto *pIv = reinterpret_cast<const CryptoPP::byte *>(sIv.data());
    const auto *pIn = reinterpret_cast<const CryptoPP::byte *>(sIn.data());
    std::string sOut(sIn.size(), '\0');
    auto *pOut = reinterpret_cast<CryptoPP::byte *>(sOut.data());
    if (bEncrypt)
        CryptoPP::CFB_Mode<CryptoPP::Blowfish>::Encryption(pKey, sKey.size(), pIv, 8)
            .ProcessData(pOut, pIn, sIn.size());
    else
        CryptoPP::CFB_Mode<CryptoPP::Blowfish>::Decryption(pKey, sKey.size(), pIv, 8)
            .ProcessData(pOut, pIn, sIn.size());
    return sOut;
}

std::string oracleInflate(const std::string &sIn, size_t *pUsed) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        throw std::runtime_error("inflateInit");
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(sIn.data()));
    z.avail_in = uInt(sIn.size());
    std::string sOut;
    int iRes;
    do {
        char aBuf[4096];
        z.next_out = reinterpret_cast<Bytef *>(aBuf);
        z.avail_out = sizeof aBuf;
        iRes = inflate(&z, Z_NO_FLUSH);
        sOut.append(aBuf, sizeof aBuf - z.avail_out);
    } while (iRes == Z_OK);
    const size_t iUsed = sIn.size() - z.avail_in;
    inflateEnd(&z);
    if (iRes != Z_STREAM_END)
        throw std::runtime_error("zlib refuses the data");
    if (pUsed)
        *pUsed = iUsed;
    return sOut;
}

std::string oracleDeflate(const std::string &sPlain) {
    uLongf iSize = compressBound(uLong(sPlain.size()));
    std::string sOut(iSize, '\0');
    if (compress2(reinterpret_cast<Bytef *>(sOut.data()), &iSize,
                  reinterpret_cast<const Bytef *>(sPlain.data()), uLong(sPlain.size()), 9) != Z_OK)
        throw std::runtime_error("compress2");
    sOut.resize(iSize);
    return sOut;
}

std::string oracleSeal(const std::string &sPassword, const std::string &sVrel) {
    std::string sPlain = "PREFIX!!" + oracleDeflate(sVrel);
    sPlain.resize((sPlain.size() + 7) / 8 * 8, '\0');
    const std::string sKey = oracleKey(sPassword);
    return oracleCfb(sKey, oracleIv(sKey), sPlain, true);
}

std::string oracleOpen(const std::string &sPassword, const std::string &sSealed) {
    const std::string sKey = oracleKey(sPassword);
    const std::string sPlain = oracleCfb(sKey, oracleIv(sKey), sSealed, false);
    size_t iUsed = 0;
    std::string sVrel = oracleInflate(sPlain.substr(8), &iUsed);
    // After the zlib stream only the zero fill of the last cipher block.
    const std::string sFill = sPlain.substr(8 + iUsed);
    if (sFill.size() > 7 || sFill != std::string(sFill.size(), '\0'))
        throw std::runtime_error("oracleOpen: unexpected bytes after the zlib stream");
    return sVrel;
}

} // namespace vaulttest
