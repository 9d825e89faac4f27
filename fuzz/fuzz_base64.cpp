// Fuzz target: arbitrary bytes decoded through Ka::Base64; whatever comes
// out must encode and decode back to itself.
#include "filter_read.h"
#include "ka/base64.h"
#include "ka/membuf.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
    // The first byte picks the read size and the line length of the check.
    uint8_t iControl = nSize > 0 ? pData[0] : 0;
    int iChunk = 1 + (iControl & 15) * 7;
    int iChars = iControl >> 4;
    Ka::MemBuf mbIn(Ka::String(reinterpret_cast<const char *>(pData) + (nSize > 0),
                               int(nSize > 0 ? nSize - 1 : 0)));
    Ka::String sPlain;
    {
        Ka::Base64 b(mbIn, 0);
        if (!fuzz::readFilter(b, iChunk, sPlain))
            return 0;
    }

    Ka::MemBuf mbCoded;
    {
        Ka::Base64 b(mbCoded, iChars);
        b.write(sPlain);
        b.stop();
    }
    mbCoded.setPos(0);
    Ka::String sAgain;
    Ka::Base64 b(mbCoded, 0);
    if (!fuzz::readFilter(b, 64, sAgain) || !(sAgain == sPlain))
        std::abort();
    return 0;
}
