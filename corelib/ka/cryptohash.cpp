// Ka::CryptoHash: the string form of addData and the hexadecimal result.
#include "ka/cryptohash.h"

namespace Ka {

void CryptoHash::addData(const String &sData) {
    addData(sData.getConstStr(), sData.getSize());
}

String CryptoHash::getHexResult() {
    static const char aDigits[] = "0123456789abcdef";
    String sRaw = getResult();
    const unsigned char *pRaw = reinterpret_cast<const unsigned char *>(sRaw.getConstStr());
    String sHex(sRaw.getSize() * 2);
    char *pHex = sHex.getStr();
    for (int i = 0; i < sRaw.getSize(); ++i) {
        pHex[2 * i] = aDigits[pRaw[i] >> 4];
        pHex[2 * i + 1] = aDigits[pRaw[i] & 15];
    }
    return sHex;
}

} // namespace Ka
