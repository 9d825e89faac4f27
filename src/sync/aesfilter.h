// AesFilter: the sync session's cipher: AES-256 in CFB mode with full-block
// feedback, in whole 16-byte blocks.
#pragma once

#include "ka/filter.h"
#include "ka/queuebuf.h"

#include <memory>

// Encrypts everything written through it and decrypts everything read
// through it. Each direction is one continuous CFB stream from the key and
// an all-zero IV, never reset between messages. Only whole blocks travel:
// written bytes wait until they make a block, and flush fills the last
// block of a message with zero bytes (which the peer's value reader skips).
// Received bytes that do not yet make a block wait for the rest.
//
// A read never asks the stream below for bytes beyond the block that holds
// the last byte asked for, so it never waits on bytes the peer has no
// reason to send. It keeps asking until it has them or the stream below
// returns 0: over a blocking socket (which waits, and throws when its
// time-out passes) a read therefore never returns 0 while a value is only
// partly received.
//
// Failures of the stream below pass through unchanged. The destructor
// neither flushes nor writes. One thread at a time.
class AesFilter : public Ka::Filter {
public:
    // sKey: the session key, 32 bytes for AES-256.
    AesFilter(Ka::Stream &rNext, const Ka::String &sKey);
    ~AesFilter() override;

    using Ka::Stream::write;

    // Up to nBytes decrypted bytes; fewer (even 0) only when the stream
    // below has returned 0.
    int read(void *pBuf, int nBytes) override;
    // Takes all nBytes (returns nBytes) and sends every whole block.
    int write(const void *pBuf, int nBytes) override;
    // Fills and encrypts the last partial block, sends what is pending and
    // flushes the stream below; does nothing before the first write.
    void flush() override;
    void start() override {}
    int stop() override { return 0; }

private:
    struct Ciphers;
    // Hands cipher bytes to the stream below after those still queued;
    // what it does not take waits in write cipher.
    void send(const void *pCipher, int nBytes);
    // Hands write cipher to the stream below until it is empty or the
    // stream below takes nothing.
    void sendCipher();

    Ka::String sKey;
    Ka::String sIv;
    std::unique_ptr<Ciphers> pCiphers;
    Ka::QueueBuf qReadPlain{256};
    Ka::QueueBuf qReadCipher{256};
    Ka::QueueBuf qWritePlain{256};
    Ka::QueueBuf qWriteCipher{256};
};
