// Fuzz target: arbitrary bytes decompressed through Ka::Deflate; whatever
// comes out must compress and decompress back to itself.
#include "filter_read.h"
#include "ka/deflate.h"
#include "ka/membuf.h"

#include <cstdint>
#include <cstdlib>

namespace {

// True when the compressed data was read to its end.
bool inflateAll(Ka::MemBuf &rIn, int eFormat, int iChunk, Ka::String &sOut) {
    Ka::Deflate d(rIn, 9, eFormat);
    bool bOk = fuzz::readFilter(d, iChunk, sOut);
    if (rIn.tell() < 0 || rIn.tell() > rIn.getSize())
        std::abort();
    return bOk && d.isEos();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
    // The first byte picks the format word and the read size.
    static const int aFormats[] = {6, 1, 2, 3, 7, 5, 4, 0};
    uint8_t iControl = nSize > 0 ? pData[0] : 0;
    int eFormat = aFormats[iControl & 7];
    int iChunk = 1 + (iControl >> 3) * 2113;
    Ka::MemBuf mbIn(Ka::String(reinterpret_cast<const char *>(pData) + (nSize > 0),
                               int(nSize > 0 ? nSize - 1 : 0)));
    Ka::String sPlain;
    if (!inflateAll(mbIn, eFormat, iChunk, sPlain))
        return 0;

    int eWrite = (eFormat & 3) ? (eFormat & 3) : Ka::Deflate::Zlib;
    Ka::MemBuf mbPacked;
    {
        Ka::Deflate d(mbPacked, iControl % 10, eWrite);
        d.write(sPlain);
        d.stop();
    }
    mbPacked.setPos(0);
    // Nothing written leaves nothing to read back.
    if (sPlain.getSize() == 0)
        return 0;
    Ka::String sAgain;
    if (!inflateAll(mbPacked, eWrite, 4096, sAgain) || !(sAgain == sPlain))
        std::abort();
    return 0;
}
