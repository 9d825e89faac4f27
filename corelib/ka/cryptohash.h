// Ka::CryptoHash: the interface of message digests fed incrementally.
#pragma once

#include "ka/stream.h"
#include "ka/string.h"

namespace Ka {

// A digest is fed with addData in pieces of any size and read with
// getResult; reset starts a new message. Implementations are not
// thread-safe: one object belongs to one thread at a time.
class CryptoHash {
public:
    CryptoHash() = default;
    CryptoHash(const CryptoHash &) = default;
    CryptoHash &operator=(const CryptoHash &) = default;
    virtual ~CryptoHash() = default;

    // Starts a new message.
    virtual void reset() = 0;
    // A salt, for digests that take one; others ignore it.
    virtual void setSalt(const String &sSalt) = 0;
    // Feeds iLength bytes; a count below 1 or a null pointer feeds nothing.
    virtual void addData(const void *pData, int iLength) = 0;
    // Feeds the string's bytes.
    virtual void addData(const String &sData);
    // The digest of the bytes fed since the last reset, as raw bytes.
    virtual String getResult() = 0;
    // Writes the bytes of getResult to the stream.
    virtual void writeResult(Stream &rStream) = 0;
    // getResult as lower-case hexadecimal, high nibble first.
    virtual String getHexResult();
};

} // namespace Ka
