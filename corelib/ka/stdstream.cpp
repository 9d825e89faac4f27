// Ka::StdStream: standard input and output through the C runtime.
#include "ka/stdstream.h"

#include <cstdio>

namespace Ka {

int StdStream::read(void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf)
        return 0;
    return int(std::fread(pBuf, 1, size_t(nBytes), stdin));
}

int StdStream::write(const void *pBuf, int nBytes) {
    if (nBytes < 1 || !pBuf)
        return 0;
    return int(std::fwrite(pBuf, 1, size_t(nBytes), stdout));
}

void StdStream::flush() {
    std::fflush(stdout);
}

StdStream &console() {
    // Deliberately leaked: see the header.
    static StdStream *pConsole = new StdStream;
    return *pConsole;
}

} // namespace Ka
