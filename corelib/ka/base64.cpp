// Ka::Base64: Base64 coding with optional line breaks.
#include "ka/base64.h"

#include "ka/exception.h"

#include <algorithm>
#include <cstring>

namespace Ka {

namespace {

const char sAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The decode table covers "+" (43) to "z" (122).
constexpr int iFirstCode = '+';

// Room for one group of four characters and the line break among them.
constexpr int iGroupMax = 6;

} // namespace

Base64::Base64(Stream &rNext, int iChars) : Filter(rNext), iChars(iChars < 0 ? 0 : iChars) {
    std::memset(aDecode, 0, sizeof(aDecode));
    for (int i = 0; i < 64; ++i)
        aDecode[static_cast<unsigned char>(sAlphabet[i]) - iFirstCode] =
            static_cast<unsigned char>(i);
    start();
}

Base64::~Base64() {
    // A failing stream below must not escape a destructor, which may run
    // while another exception unwinds the stack.
    try {
        stop();
    } catch (...) {
    }
}

void Base64::encodeGroup(char *aOut, int &nOut, int nPad) {
    char aGroup[4];
    for (int k = 0; k < 4; ++k)
        aGroup[k] = k >= 4 - nPad ? '=' : sAlphabet[(iBits >> (18 - 6 * k)) & 0x3f];
    // At most one break per group, where the line reaches its length. Lines
    // shorter than a group can leave more than four characters owed to the
    // next line: all four then follow the break, which the decoder skips
    // wherever it stands.
    int nBefore = 4;
    iCurChars += 4;
    const bool bBreak = iChars > 0 && iCurChars >= iChars;
    if (bBreak) {
        iCurChars = std::min(iCurChars - iChars, 4);
        nBefore = 4 - iCurChars;
    }
    std::memcpy(aOut + nOut, aGroup, size_t(nBefore));
    nOut += nBefore;
    if (bBreak) {
        aOut[nOut++] = '\r';
        aOut[nOut++] = '\n';
    }
    std::memcpy(aOut + nOut, aGroup + nBefore, size_t(4 - nBefore));
    nOut += 4 - nBefore;
}

int Base64::writeOut(const char *aOut, int nOut) {
    if (nOut < 1)
        return 0;
    int n = rNext.write(aOut, nOut);
    iTotalOut += uint32_t(n);
    return n;
}

int Base64::write(const void *pBuf, int nBytes) {
    if (eMode == Reading)
        throw Base64Exception("Cannot write to an input stream.");
    eMode = Writing;
    if (nBytes < 1 || !pBuf)
        return 0;
    const unsigned char *pSrc = static_cast<const unsigned char *>(pBuf);
    char aOut[4096];
    int nOut = 0;
    int nWritten = 0;
    for (int i = 0; i < nBytes; ++i) {
        iBits |= uint32_t(pSrc[i]) << (16 - 8 * iBuf);
        if (++iBuf < 3)
            continue;
        encodeGroup(aOut, nOut, 0);
        iBuf = 0;
        iBits = 0;
        if (nOut > int(sizeof(aOut)) - iGroupMax) {
            nWritten += writeOut(aOut, nOut);
            nOut = 0;
        }
    }
    return nWritten + writeOut(aOut, nOut);
}

int Base64::stop() {
    if (eMode != Writing)
        return int(iTotalIn);
    if (iBuf > 0) {
        char aOut[iGroupMax];
        int nOut = 0;
        encodeGroup(aOut, nOut, 3 - iBuf);
        // Cleared before writing, so that a second stop() never repeats it.
        iBuf = 0;
        iBits = 0;
        writeOut(aOut, nOut);
    }
    return int(iTotalOut);
}

bool Base64::readGroup() {
    if (iGroupChars == 0)
        iBits = 0;
    while (iGroupChars < 4) {
        char c;
        if (rNext.read(&c, 1) < 1) {
            if (!rNext.isEos())
                return false; // the group goes on with the next read
            bEosIn = true;
            if (iGroupChars > 0)
                throw Base64Exception(
                    "Premature end of stream detected while decoding Base64 data.");
            return false;
        }
        ++iTotalIn;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            continue;
        if (c == '=') {
            ++iGroupPad;
        } else {
            int iIdx = static_cast<unsigned char>(c) - iFirstCode;
            uint32_t iValue = (iIdx >= 0 && iIdx < int(sizeof(aDecode))) ? aDecode[iIdx] : 0;
            iBits |= iValue << (18 - 6 * iGroupChars);
        }
        ++iGroupChars;
    }
    iBufFill = iGroupPad < 3 ? 3 - iGroupPad : 0;
    iBPos = 0;
    if (iGroupPad > 0)
        bEosIn = true;
    iGroupChars = 0;
    iGroupPad = 0;
    return true;
}

int Base64::read(void *pBuf, int nBytes) {
    if (eMode == Writing)
        throw Base64Exception("Cannot read from an output stream.");
    eMode = Reading;
    if (nBytes < 1 || !pBuf || isEos())
        return 0;
    unsigned char *pDst = static_cast<unsigned char *>(pBuf);
    int nDone = 0;
    while (nDone < nBytes) {
        if (iBPos < iBufFill) {
            pDst[nDone++] = static_cast<unsigned char>(iBits >> (16 - 8 * iBPos));
            ++iBPos;
        } else if (bEosIn || !readGroup()) {
            break;
        }
    }
    return nDone;
}

} // namespace Ka
