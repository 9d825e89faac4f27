// Fuzz target: arbitrary bytes decoded through Ka::Hex; whatever comes out
// must encode and decode back to itself.
#include "filter_read.h"
#include "ka/hex.h"
#include "ka/membuf.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
    // The first byte picks the read size, the case and the group size.
    uint8_t iControl = nSize > 0 ? pData[0] : 0;
    int iChunk = 1 + (iControl & 7) * 5;
    Ka::MemBuf mbIn(Ka::String(reinterpret_cast<const char *>(pData) + (nSize > 0),
                               int(nSize > 0 ? nSize - 1 : 0)));
    // Hex never throws, and a memory buffer below does not either.
    Ka::String sPlain;
    Ka::Hex hIn(mbIn, false, 0);
    if (!fuzz::readFilter(hIn, iChunk, sPlain))
        std::abort();

    Ka::MemBuf mbCoded;
    Ka::Hex hOut(mbCoded, iControl & 8, (iControl >> 4) - 2);
    hOut.write(sPlain);
    mbCoded.setPos(0);
    Ka::String sAgain;
    Ka::Hex hBack(mbCoded, false, 0);
    if (!fuzz::readFilter(hBack, 16, sAgain) || !(sAgain == sPlain))
        std::abort();
    return 0;
}
