// AesFilter: block gathering and CFB over Crypto++'s AES.
#include "sync/aesfilter.h"

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr int kBlock = CryptoPP::AES::BLOCKSIZE;
// Bytes moved between the queues, the ciphers and the stream below at once.
constexpr int kChunk = 16384;

using Encryptor = CryptoPP::CFB_Mode<CryptoPP::AES>::Encryption;
using Decryptor = CryptoPP::CFB_Mode<CryptoPP::AES>::Decryption;

} // namespace

// Made on the first write and the first read; the default feedback of
// Crypto++'s CFB mode is the whole block.
struct AesFilter::Ciphers {
    std::unique_ptr<Encryptor> pEncryptor;
    std::unique_ptr<Decryptor> pDecryptor;

    template <typename Cipher>
    static std::unique_ptr<Cipher> make(const Ka::String &sKey, const Ka::String &sIv) {
        return std::make_unique<Cipher>(
            reinterpret_cast<const CryptoPP::byte *>(sKey.getConstStr()), size_t(sKey.getSize()),
            reinterpret_cast<const CryptoPP::byte *>(sIv.getConstStr()));
    }

    // Moves iBytes (whole blocks) from rFrom through the cipher to rTo.
    template <typename Cipher>
    static void transform(Cipher &rCipher, Ka::QueueBuf &rFrom, Ka::QueueBuf &rTo, int iBytes) {
        CryptoPP::byte aBuf[kChunk];
        while (iBytes > 0) {
            const int n = rFrom.read(aBuf, std::min(iBytes, kChunk));
            rCipher.ProcessData(aBuf, aBuf, size_t(n));
            rTo.write(aBuf, n);
            iBytes -= n;
        }
    }
};

AesFilter::AesFilter(Ka::Stream &rNext, const Ka::String &sKey)
    : Ka::Filter(rNext), sKey(sKey), sIv(kBlock), pCiphers(new Ciphers) {}

AesFilter::~AesFilter() = default;

int AesFilter::write(const void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf)
        return 0;
    if (!pCiphers->pEncryptor)
        pCiphers->pEncryptor = Ciphers::make<Encryptor>(sKey, sIv);
    qWritePlain.write(pBuf, nBytes);
    Ciphers::transform(*pCiphers->pEncryptor, qWritePlain, qWriteCipher,
                       qWritePlain.getSize() / kBlock * kBlock);
    sendCipher();
    return nBytes;
}

void AesFilter::flush() {
    if (!pCiphers->pEncryptor)
        return;
    if (const int iRest = qWritePlain.getSize(); iRest > 0) {
        const char aZeros[kBlock] = {};
        qWritePlain.write(aZeros, kBlock - iRest % kBlock);
        Ciphers::transform(*pCiphers->pEncryptor, qWritePlain, qWriteCipher, qWritePlain.getSize());
    }
    sendCipher();
    rNext.flush();
}

void AesFilter::sendCipher() {
    char aBuf[kChunk];
    while (qWriteCipher.getSize() > 0) {
        const int n = qWriteCipher.peek(aBuf, kChunk);
        const int iSent = rNext.write(aBuf, n);
        if (iSent <= 0)
            return;
        qWriteCipher.seek(std::min(iSent, n));
    }
}

int AesFilter::read(void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf)
        return 0;
    if (!pCiphers->pDecryptor)
        pCiphers->pDecryptor = Ciphers::make<Decryptor>(sKey, sIv);
    char *pOut = static_cast<char *>(pBuf);
    int nDone = qReadPlain.read(pOut, nBytes);
    if (nDone == nBytes)
        return nDone;

    // The cipher bytes that complete the blocks holding the missing bytes;
    // read cipher holds at most the start of the first of them.
    const int64_t iBlocks = (int64_t(nBytes - nDone) + kBlock - 1) / kBlock;
    int64_t iWant = iBlocks * kBlock - qReadCipher.getSize();
    char aBuf[kChunk];
    while (iWant > 0) {
        const int n = rNext.read(aBuf, int(std::min<int64_t>(iWant, kChunk)));
        if (n <= 0)
            break;
        qReadCipher.write(aBuf, n);
        iWant -= n;
    }
    Ciphers::transform(*pCiphers->pDecryptor, qReadCipher, qReadPlain,
                       qReadCipher.getSize() / kBlock * kBlock);
    return nDone + qReadPlain.read(pOut + nDone, nBytes - nDone);
}
