// Ka::Hex: hexadecimal coding, two digits per byte.
#include "ka/hex.h"

namespace Ka {

namespace {

// Digits give their value; every other character has bit 0x60 forced on,
// which maps both A-F and a-f onto 10-15.
int digitValue(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    return (c | 0x60) - 87;
}

} // namespace

Hex::Hex(Stream &rNext, bool bUpperCase, int iChunk)
    : Filter(rNext), iChunk(iChunk), sChars(bUpperCase ? "0123456789ABCDEF" : "0123456789abcdef") {}

void Hex::start() {
    iPos = 0;
    iIn = 0;
}

int Hex::write(const void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf)
        return 0;
    const unsigned char *pSrc = static_cast<const unsigned char *>(pBuf);
    // Encoded in pieces to spare the stream below three calls per byte.
    char aOut[3 * 1024];
    int nOut = 0;
    for (int i = 0; i < nBytes; ++i) {
        if (iChunk > 0 && iPos > 0 && iPos % iChunk == 0)
            aOut[nOut++] = ' ';
        aOut[nOut++] = sChars[pSrc[i] >> 4];
        aOut[nOut++] = sChars[pSrc[i] & 0x0f];
        ++iPos;
        if (nOut > int(sizeof(aOut)) - 3) {
            rNext.write(aOut, nOut);
            nOut = 0;
        }
    }
    if (nOut > 0)
        rNext.write(aOut, nOut);
    return nBytes;
}

int Hex::read(void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf)
        return 0;
    unsigned char *pDst = static_cast<unsigned char *>(pBuf);
    for (int nDone = 0; nDone < nBytes; ++nDone) {
        while (iIn < 2) {
            char c;
            if (rNext.read(&c, 1) < 1)
                return nDone;
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
                continue;
            sIn[iIn++] = c;
        }
        iIn = 0;
        int iByte = digitValue(sIn[0]) * 16 + digitValue(sIn[1]);
        pDst[nDone] = static_cast<unsigned char>(iByte & 0xff);
    }
    return nBytes;
}

} // namespace Ka
