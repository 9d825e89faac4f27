// Ka::Deflate: zlib compression on writing, decompression on reading.
#include "ka/deflate.h"

#include "ka/exception.h"

#include <zlib.h>

namespace Ka {

namespace {

// Throws for every zlib result that is a failure. zlib's own message is
// preferred; without one, zlib's text for the result code stands in.
void checkResult(const z_stream &z, int iRes) {
    if (iRes == Z_OK || iRes == Z_STREAM_END || iRes == Z_NEED_DICT)
        return;
    const char *sMsg = z.msg;
    if (!sMsg)
        sMsg = (iRes >= Z_VERSION_ERROR && iRes <= Z_NEED_DICT) ? zError(iRes) : "no message";
    switch (iRes) {
    case Z_ERRNO:
        throw ExceptionBase("Deflate: Errno - %s", sMsg);
    case Z_STREAM_ERROR:
        throw ExceptionBase("Deflate: Stream Error - %s", sMsg);
    case Z_DATA_ERROR:
        throw ExceptionBase("Deflate: Data Error - %s", sMsg);
    case Z_MEM_ERROR:
        throw ExceptionBase("Deflate: Mem Error - %s", sMsg);
    case Z_BUF_ERROR:
        throw ExceptionBase("Deflate: Buf Error - %s", sMsg);
    case Z_VERSION_ERROR:
        throw ExceptionBase("Deflate: Version Error - %s", sMsg);
    default:
        throw ExceptionBase("Deflate: Unknown error encountered - %s.", sMsg);
    }
}

} // namespace

Deflate::Deflate(Stream &rNext, int nCompression, int eFormat)
    : Filter(rNext), nCompression(nCompression), eFormat(eFormat) {
    start();
}

Deflate::~Deflate() {
    // A failing stream below (a full disk) must not escape a destructor,
    // which may run while another exception unwinds the stack.
    try {
        stop();
    } catch (...) {
    }
}

bool Deflate::isOpen() {
    return pState && bInitialised;
}

void Deflate::start() {
    if (isOpen())
        stop();
    pState = std::make_unique<z_stream_s>(); // zeroed: zlib's default allocator
    pBuf = std::make_unique_for_overwrite<unsigned char[]>(nBufSize);
    bInitialised = false;
    bReading = false;
    sTotalOut = 0;
    bEos = false;
}

void Deflate::freeState() {
    if (pState && bInitialised) {
        if (bReading)
            inflateEnd(pState.get());
        else
            deflateEnd(pState.get());
    }
    pState.reset();
    pBuf.reset();
    bInitialised = false;
}

int Deflate::stop() {
    if (!isOpen())
        return 0;
    if (bReading) {
        freeState();
        return 0;
    }
    try {
        z_stream &z = *pState;
        z.next_in = nullptr;
        z.avail_in = 0;
        int iRes;
        do {
            z.next_out = pBuf.get();
            z.avail_out = nBufSize;
            iRes = deflate(&z, Z_FINISH);
            checkResult(z, iRes);
            writeOut(nBufSize - int(z.avail_out));
        } while (iRes != Z_STREAM_END);
    } catch (...) {
        freeState();
        throw;
    }
    freeState();
    return int(sTotalOut);
}

void Deflate::initialise(bool bRead) {
    if (!pState)
        throw ExceptionBase("Deflate: Stream Error - %s", "the filter is stopped.");
    z_stream &z = *pState;
    int iRes;
    if (bRead) {
        int iWindowBits;
        if (eFormat & AutoDetect)
            iWindowBits = 47;
        else if (eFormat == Raw)
            iWindowBits = -15;
        else if (eFormat == Zlib)
            iWindowBits = 15;
        else if (eFormat == Gzip)
            iWindowBits = 31;
        else
            throw ExceptionBase("Format mode for deflate read.");
        bReading = true;
        z.next_in = nullptr;
        z.avail_in = 0;
        iRes = inflateInit2(&z, iWindowBits);
    } else {
        bReading = false;
        static const int aWindowBits[] = {0, -15, 15, 31};
        int iContainer = eFormat & 3;
        if (iContainer == 0)
            throw ExceptionBase("Invalid format for deflate.");
        iRes = deflateInit2(&z, nCompression, Z_DEFLATED, aWindowBits[iContainer], 9,
                            Z_DEFAULT_STRATEGY);
    }
    checkResult(z, iRes);
    bInitialised = true;
}

void Deflate::writeOut(int nBytes) {
    const unsigned char *p = pBuf.get();
    while (nBytes > 0) {
        int n = rNext.write(p, nBytes);
        // A stream that takes nothing would otherwise lose the compressed
        // data while write() reports success.
        if (n <= 0)
            throw ExceptionBase("Deflate: the stream below refused the compressed data.");
        if (n > nBytes)
            n = nBytes;
        p += n;
        nBytes -= n;
        sTotalOut += uint32_t(n);
    }
}

int Deflate::write(const void *pData, int nBytes) {
    if (nBytes < 1 || !pData)
        return 0;
    if (!bInitialised)
        initialise(false);
    if (bReading)
        throw ExceptionBase("This deflate filter is in reading mode, you can't write.");
    z_stream &z = *pState;
    z.next_in = static_cast<Bytef *>(const_cast<void *>(pData));
    z.avail_in = uInt(nBytes);
    do {
        z.next_out = pBuf.get();
        z.avail_out = nBufSize;
        checkResult(z, deflate(&z, Z_NO_FLUSH));
        writeOut(nBufSize - int(z.avail_out));
    } while (z.avail_in > 0);
    z.next_in = nullptr;
    return nBytes;
}

int Deflate::fill() {
    int n = rNext.read(pBuf.get(), nBufSize);
    if (n <= 0) {
        if (rNext.isEos())
            throw ExceptionBase("Premature end of underlying stream found reading deflate stream.");
        return 0;
    }
    if (n > nBufSize)
        n = nBufSize;
    pState->next_in = pBuf.get();
    pState->avail_in = uInt(n);
    return n;
}

int Deflate::read(void *pData, int nBytes) {
    if (nBytes < 1 || !pData)
        return 0;
    if (!bInitialised)
        initialise(true);
    if (!bReading)
        throw ExceptionBase("This deflate filter is in writing mode, you can't read.");
    if (bEos)
        return 0;
    z_stream &z = *pState;
    z.next_out = static_cast<Bytef *>(pData);
    z.avail_out = uInt(nBytes);
    for (;;) {
        int iRes = inflate(&z, Z_NO_FLUSH);
        if (iRes == Z_STREAM_END)
            break;
        // zlib would wait for a dictionary forever; we never set one.
        if (iRes == Z_NEED_DICT)
            throw ExceptionBase("Deflate: Data Error - %s", zError(Z_NEED_DICT));
        if (iRes != Z_BUF_ERROR)
            checkResult(z, iRes);
        if (z.avail_out == 0)
            return nBytes;
        if (z.avail_in == 0 && fill() == 0)
            return nBytes - int(z.avail_out);
    }
    bEos = true;
    // Hand back what followed the compressed data, once.
    if (z.avail_in > 0 && rNext.isSeekable())
        rNext.seek(-int(z.avail_in));
    z.avail_in = 0;
    return nBytes - int(z.avail_out);
}

} // namespace Ka
