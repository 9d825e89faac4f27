// Byte helpers for tests: flipping, cutting, whole-file reads and writes.
#include "support/bytes.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace support {

Ka::String flipByte(const Ka::String &sData, int iPos, unsigned char iMask) {
    if (iPos < 0 || iPos >= sData.getSize())
        throw std::out_of_range("flipByte: position " + std::to_string(iPos) + " outside " +
                                std::to_string(sData.getSize()) + " bytes");
    Ka::String sCopy(sData);
    sCopy[iPos] = char(static_cast<unsigned char>(sCopy[iPos]) ^ iMask);
    return sCopy;
}

Ka::String cutBytes(const Ka::String &sData, int iLength) {
    // A negative length would mean "to the end" to the string; here it cuts everything.
    return Ka::String(sData, iLength < 0 ? 0 : iLength);
}

Ka::String readFile(const std::string &sPath) {
    std::ifstream in(sPath, std::ios::binary);
    if (!in)
        throw std::runtime_error("readFile: cannot open " + sPath);
    std::string sData((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::runtime_error("readFile: cannot read " + sPath);
    return toKa(sData);
}

void writeFile(const std::string &sPath, const Ka::String &sData) {
    std::ofstream out(sPath, std::ios::binary | std::ios::trunc);
    out.write(sData.getConstStr(), sData.getSize());
    out.close();
    if (!out)
        throw std::runtime_error("writeFile: cannot write " + sPath);
}

Ka::String toKa(const std::string &s) {
    return Ka::String(s.data(), int(s.size()));
}

std::string toStd(const Ka::String &s) {
    return std::string(s.getConstStr(), size_t(s.getSize()));
}

} // namespace support
