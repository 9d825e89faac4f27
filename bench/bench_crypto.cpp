// Throughput of the Blowfish-CFB filter and of SHA-1, each against Crypto++
// on the same bytes.
#include "ratio.h"

#include "ka/blowfish.h"
#include "ka/ciphermodecfb.h"
#include "ka/membuf.h"
#include "ka/sha1.h"

#include <cryptopp/blowfish.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

namespace {

constexpr int kCipherBytes = 16 << 20;
constexpr int kHashBytes = 64 << 20;
constexpr int kCall = 64 << 10;

using Cfb = Ka::CipherModeCfb<8, Ka::Blowfish<1>>;
using CryptoppCfb = CryptoPP::CFB_Mode<CryptoPP::Blowfish>;

const std::string &randomBytes(int nBytes) {
    static std::string s;
    if (int(s.size()) < nBytes) {
        std::mt19937 rng(1);
        s.resize(size_t(nBytes));
        for (char &c : s)
            c = char(rng());
    }
    return s;
}

const std::string sKey = "a vault key of twenty-eight b";
const std::string sIv = "\x01\x23\x45\x67\x89\xab\xcd\xef";

const CryptoPP::byte *bytes(const std::string &s) {
    return reinterpret_cast<const CryptoPP::byte *>(s.data());
}

void keyFilter(Cfb &rFilter) {
    rFilter.setKey(Ka::String(sKey.data(), int(sKey.size())));
    std::memcpy(rFilter.V, sIv.data(), 8);
}

std::string cryptoppEncrypt(const std::string &sPlain) {
    std::string sOut(sPlain.size(), '\0');
    CryptoppCfb::Encryption c(bytes(sKey), sKey.size(), bytes(sIv), 8);
    c.ProcessData(reinterpret_cast<CryptoPP::byte *>(sOut.data()), bytes(sPlain), sPlain.size());
    return sOut;
}

void BM_KaBlowfishCfbEncrypt(benchmark::State &state) {
    const std::string sPlain = randomBytes(kCipherBytes).substr(0, kCipherBytes);
    // Written over a buffer already at full size, as the reference writes
    // into a buffer it has.
    Ka::MemBuf buf{Ka::String(kCipherBytes)};
    for (auto _ : state) {
        buf.setPos(0);
        Cfb filter(buf);
        keyFilter(filter);
        for (int i = 0; i < kCipherBytes; i += kCall)
            filter.write(sPlain.data() + i, kCall);
        filter.close();
    }
    if (buf.getString().getSize() != kCipherBytes ||
        std::memcmp(buf.getString().getConstStr(), cryptoppEncrypt(sPlain).data(), kCipherBytes))
        state.SkipWithError("ciphertext differs from the reference");
    state.SetBytesProcessed(int64_t(state.iterations()) * kCipherBytes);
}

// Crypto++ over the same bytes in the same calls, into a buffer it has.
template <class Mode>
void cryptoppCfbRun(benchmark::State &state, const std::string &sIn) {
    std::string sOut(kCipherBytes, '\0');
    for (auto _ : state) {
        Mode c(bytes(sKey), sKey.size(), bytes(sIv), 8);
        for (int i = 0; i < kCipherBytes; i += kCall)
            c.ProcessData(reinterpret_cast<CryptoPP::byte *>(sOut.data()) + i, bytes(sIn) + i,
                          kCall);
        benchmark::DoNotOptimize(sOut.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kCipherBytes);
}

void BM_CryptoppBlowfishCfbEncrypt(benchmark::State &state) {
    cryptoppCfbRun<CryptoppCfb::Encryption>(state,
                                            randomBytes(kCipherBytes).substr(0, kCipherBytes));
}

void BM_KaBlowfishCfbDecrypt(benchmark::State &state) {
    const std::string sPlain = randomBytes(kCipherBytes).substr(0, kCipherBytes);
    const std::string sCipher = cryptoppEncrypt(sPlain);
    Ka::MemBuf buf(Ka::String(sCipher.data(), kCipherBytes));
    std::string sOut(kCipherBytes, '\0');
    for (auto _ : state) {
        buf.setPos(0);
        Cfb filter(buf);
        keyFilter(filter);
        for (int i = 0; i < kCipherBytes; i += kCall)
            filter.read(sOut.data() + i, kCall);
        benchmark::DoNotOptimize(sOut.data());
    }
    if (sOut != sPlain)
        state.SkipWithError("plaintext differs");
    state.SetBytesProcessed(int64_t(state.iterations()) * kCipherBytes);
}

void BM_CryptoppBlowfishCfbDecrypt(benchmark::State &state) {
    cryptoppCfbRun<CryptoppCfb::Decryption>(
        state, cryptoppEncrypt(randomBytes(kCipherBytes).substr(0, kCipherBytes)));
}

void BM_KaSha1(benchmark::State &state) {
    const std::string &sData = randomBytes(kHashBytes);
    Ka::String sDigest;
    for (auto _ : state) {
        Ka::Sha1 h;
        for (int i = 0; i < kHashBytes; i += kCall)
            h.addData(sData.data() + i, kCall);
        sDigest = h.getResult();
    }
    CryptoPP::byte aRef[20];
    CryptoPP::SHA1().CalculateDigest(aRef, bytes(sData), size_t(kHashBytes));
    if (std::memcmp(aRef, sDigest.getConstStr(), 20))
        state.SkipWithError("digest differs from the reference");
    state.SetBytesProcessed(int64_t(state.iterations()) * kHashBytes);
}

void BM_CryptoppSha1(benchmark::State &state) {
    const std::string &sData = randomBytes(kHashBytes);
    CryptoPP::byte aDigest[20];
    for (auto _ : state) {
        CryptoPP::SHA1 h;
        for (int i = 0; i < kHashBytes; i += kCall)
            h.Update(bytes(sData) + i, kCall);
        h.Final(aDigest);
        benchmark::DoNotOptimize(aDigest);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kHashBytes);
}

} // namespace

BENCHMARK(BM_KaBlowfishCfbEncrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CryptoppBlowfishCfbEncrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KaBlowfishCfbDecrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CryptoppBlowfishCfbDecrypt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KaSha1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CryptoppSha1)->Unit(benchmark::kMillisecond);

PELIMUND_BENCH_RATIO("Blowfish-CFB encrypt, 16 MiB via MemBuf", "BM_KaBlowfishCfbEncrypt",
                     "BM_CryptoppBlowfishCfbEncrypt");
PELIMUND_BENCH_RATIO("Blowfish-CFB decrypt, 16 MiB via MemBuf", "BM_KaBlowfishCfbDecrypt",
                     "BM_CryptoppBlowfishCfbDecrypt");
PELIMUND_BENCH_RATIO("SHA-1, 64 MiB (reference uses SHA instructions)", "BM_KaSha1",
                     "BM_CryptoppSha1");
