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

// The queues hold only what waits: whole blocks with nothing queued before
// them go from the caller's buffer through the cipher to the stream below.
int AesFilter::write(const void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf)
        return 0;
    if (!pCiphers->pEncryptor)
        pCiphers->pEncryptor = Ciphers::make<Encryptor>(sKey, sIv);
    const auto *pIn = static_cast<const CryptoPP::byte *>(pBuf);
    int iDirect = qWritePlain.getSize() == 0 ? nBytes / kBlock * kBlock : 0;
    CryptoPP::byte aBuf[kChunk];
    for (int iDone = 0; iDone < iDirect;) {
        const int n = std::min(iDirect - iDone, kChunk);
        pCiphers->pEncryptor->ProcessData(aBuf, pIn + iDone, size_t(n));
        iDone += n;
        send(aBuf, n);
    }
    qWritePlain.write(pIn + iDirect, nBytes - iDirect);
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

void AesFilter::send(const void *pCipher, int nBytes) {
    const char *p = static_cast<const char *>(pCipher);
    while (qWriteCipher.getSize() == 0 && nBytes > 0) {
        const int iSent = std::min(rNext.write(p, nBytes), nBytes);
        if (iSent <= 0)
            break;
        p += iSent;
        nBytes -= iSent;
    }
    qWriteCipher.write(p, nBytes);
    sendCipher();
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
    // read cipher holds at most the start of the first of them. Whole
    // blocks are decrypted where they arrive and handed on directly; only
    // what the caller has no room for, and a partial block, are queued.
    const int64_t iBlocks = (int64_t(nBytes - nDone) + kBlock - 1) / kBlock;
    int64_t iWant = iBlocks * kBlock - qReadCipher.getSize();
    CryptoPP::byte aBuf[kChunk];
    Decryptor &rDecryptor = *pCiphers->pDecryptor;
    while (iWant > 0) {
        const int n = rNext.read(aBuf, int(std::min<int64_t>(iWant, kChunk)));
        if (n <= 0)
            break;
        iWant -= n;
        int iUsed = 0;
        if (qReadCipher.getSize() > 0) {
            iUsed = std::min(n, kBlock - qReadCipher.getSize());
            qReadCipher.write(aBuf, iUsed);
            if (qReadCipher.getSize() == kBlock)
                Ciphers::transform(rDecryptor, qReadCipher, qReadPlain, kBlock);
        }
        const int iWhole = (n - iUsed) / kBlock * kBlock;
        rDecryptor.ProcessData(aBuf + iUsed, aBuf + iUsed, size_t(iWhole));
        nDone += qReadPlain.read(pOut + nDone, nBytes - nDone);
        const int iHanded = qReadPlain.getSize() == 0 ? std::min(iWhole, nBytes - nDone) : 0;
        std::memcpy(pOut + nDone, aBuf + iUsed, size_t(iHanded));
        nDone += iHanded;
        qReadPlain.write(aBuf + iUsed + iHanded, iWhole - iHanded);
        qReadCipher.write(aBuf + iUsed + iWhole, n - iUsed - iWhole);
    }
    return nDone + qReadPlain.read(pOut + nDone, nBytes - nDone);
}
