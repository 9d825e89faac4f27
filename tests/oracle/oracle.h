// Outside answers for the vault format: SHA-1, Blowfish-CFB and zlib done
// with Crypto++ and plain zlib, for the tests and the benchmarks.
#pragma once

#include <cstddef>
#include <string>

namespace oracle {

std::string sha1(const std::string &s);
// The vault key (SHA-1 of the password, then the password) and initial
// vector (the first 8 bytes of SHA-1 of the key).
std::string vaultKey(const std::string &sPassword);
std::string vaultIv(const std::string &sKey);
// Blowfish in CFB mode with an 8-byte feedback; keys of up to 56 bytes.
std::string cfb(const std::string &sKey, const std::string &sIv, const std::string &sIn,
                bool bEncrypt);
// Inflates one zlib stream; *pUsed receives the compressed bytes it took.
// Throws std::runtime_error when zlib refuses the data.
std::string inflate(const std::string &sIn, size_t *pUsed = nullptr);
// compress2 at level 9.
std::string deflate(const std::string &sPlain);

} // namespace oracle
