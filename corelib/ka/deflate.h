// Ka::Deflate: a filter that compresses what is written and decompresses
// what is read, with zlib.
#pragma once

#include "ka/filter.h"

#include <cstdint>
#include <memory>

struct z_stream_s;

namespace Ka {

// Works in one direction for its whole life: the first read or write after
// start() fixes it, and using the other direction afterwards throws.
//
// The format word picks the container. Writing uses its low two bits (Raw,
// Zlib or Gzip; neither is refused). Reading detects a zlib or gzip header
// whenever AutoDetect is present (the vault store passes Zlib | AutoDetect);
// otherwise the word must be exactly Raw, Zlib or Gzip.
//
// Written data may stay inside zlib until stop() (called by close() and by
// the destructor), which finishes the compressed stream; a filter through
// which nothing passed writes nothing at all. When reading meets the end of
// the compressed data over a seekable stream, the stream below is moved back
// to the first byte after it, so that whatever follows can be read from it.
//
// The stream below is not owned and must outlive the filter. Failures are
// Ka::ExceptionBase; the destructor never throws (a failure there is lost,
// so writers should close() or stop() explicitly). Not thread-safe.
class Deflate : public Filter {
public:
    enum Format { Raw = 1, Zlib = 2, Gzip = 3, AutoDetect = 4 };

    // nCompression: zlib level 0 to 9 (or -1 for zlib's default).
    Deflate(Stream &rNext, int nCompression, int eFormat);
    ~Deflate() override;

    using Filter::write;

    // A count below 1 or a null buffer returns 0 and fixes nothing. Returns
    // the bytes produced, fewer than asked only at the end of the compressed
    // data or when the stream below has nothing to give right now (it
    // returned 0 without being at its end).
    int read(void *pBuf, int nBytes) override;
    // Takes every byte or throws; returns the count.
    int write(const void *pBuf, int nBytes) override;
    bool isEos() override { return bEos; }
    bool isOpen() override;

    // Begins a new compressed stream with a fresh zlib state; a stream still
    // running is stopped first, so nothing written is lost.
    void start() override;
    // Writing: finishes the compressed stream and returns the compressed
    // bytes written since start(). Reading, or nothing passed: returns 0.
    // The zlib state is freed even when finishing fails.
    int stop() override;

    int getCompressedSize() const { return int(sTotalOut); }

private:
    void initialise(bool bRead);
    void freeState();
    void writeOut(int nBytes);
    int fill();

    std::unique_ptr<z_stream_s> pState;
    bool bInitialised = false;
    bool bReading = false;
    int nCompression;
    std::unique_ptr<unsigned char[]> pBuf;
    static constexpr int nBufSize = 65536;
    uint32_t sTotalOut = 0;
    int eFormat;
    bool bEos = false;
};

} // namespace Ka
