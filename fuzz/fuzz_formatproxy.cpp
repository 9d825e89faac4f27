// Fuzz target: an arbitrary format string filled with numbered arguments.
// It either throws Ka::ExceptionBase or gives a text; a format without '%'
// comes back unchanged.
#include "ka/exception.h"
#include "ka/formatproxy.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t nSize) {
    // The first byte gives the argument count (0 to 15) and their kinds.
    uint8_t iControl = nSize > 0 ? pData[0] : 0;
    Ka::String sFormat(reinterpret_cast<const char *>(pData) + (nSize > 0),
                       int(nSize > 0 ? nSize - 1 : 0));
    Ka::String::FormatProxy proxy(sFormat);
    for (int i = 0; i < (iControl & 15); ++i) {
        switch (((iControl >> 4) + i) & 3) {
        case 0:
            proxy.arg(i * 1000003 - 7000000);
            break;
        case 1:
            proxy.arg("text");
            break;
        case 2:
            proxy.arg(Ka::Variant());
            break;
        default:
            proxy.arg(i / 3.0 - 1);
            break;
        }
    }
    try {
        Ka::String sOut = proxy;
        if (!std::memchr(sFormat.getConstStr(), '%', size_t(sFormat.getSize())) &&
            !(sOut == sFormat))
            std::abort();
    } catch (const Ka::ExceptionBase &) {
    }
    return 0;
}
