// Shared by the filter fuzz targets: reads a filter to its end and treats
// every result outside the contract as a fault.
#pragma once

#include "ka/exception.h"
#include "ka/stream.h"

#include <cstdlib>
#include <vector>

namespace fuzz {

// Reads rFilter in pieces of iChunk bytes into sOut until it reports its end,
// returns 0 or sOut reaches iMax bytes. Returns false when a Ka exception
// ended it; any other exception escapes, and the fuzzer reports it.
inline bool readFilter(Ka::Stream &rFilter, int iChunk, Ka::String &sOut, int iMax = 64 << 20) {
    std::vector<char> aBuf(static_cast<size_t>(iChunk));
    try {
        while (!rFilter.isEos() && sOut.getSize() < iMax) {
            int n = rFilter.read(aBuf.data(), iChunk);
            if (n < 0 || n > iChunk)
                std::abort();
            if (n == 0)
                break;
            sOut.append(aBuf.data(), n);
        }
    } catch (const Ka::ExceptionBase &) {
        return false;
    }
    return true;
}

} // namespace fuzz
