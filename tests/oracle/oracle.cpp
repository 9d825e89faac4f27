// Outside answers for the vault format, computed with Crypto++ and zlib.
#include "oracle.h"

#include <cryptopp/blowfish.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>
#include <zlib.h>

#include <stdexcept>

namespace oracle {

std::string sha1(const std::string &s) {
    std::string sDigest(CryptoPP::SHA1::DIGESTSIZE, '\0');
    CryptoPP::SHA1().CalculateDigest(reinterpret_cast<CryptoPP::byte *>(sDigest.data()),
                                     reinterpret_cast<const CryptoPP::byte *>(s.data()), s.size());
    return sDigest;
}

std::string vaultKey(const std::string &sPassword) {
    return sha1(sPassword) + sPassword;
}

std::string vaultIv(const std::string &sKey) {
    return sha1(sKey).substr(0, 8);
}

std::string cfb(const std::string &sKey, const std::string &sIv, const std::string &sIn,
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

std::string inflate(const std::string &sIn, size_t *pUsed) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        throw std::runtime_error("inflateInit");
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(sIn.data()));
    z.avail_in = uInt(sIn.size());
    std::string sOut;
    int iRes;
    do {
        char aBuf[65536];
        z.next_out = reinterpret_cast<Bytef *>(aBuf);
        z.avail_out = sizeof aBuf;
        iRes = ::inflate(&z, Z_NO_FLUSH);
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

std::string deflate(const std::string &sPlain) {
    uLongf iSize = compressBound(uLong(sPlain.size()));
    std::string sOut(iSize, '\0');
    if (compress2(reinterpret_cast<Bytef *>(sOut.data()), &iSize,
                  reinterpret_cast<const Bytef *>(sPlain.data()), uLong(sPlain.size()), 9) != Z_OK)
        throw std::runtime_error("compress2");
    sOut.resize(iSize);
    return sOut;
}

} // namespace oracle
