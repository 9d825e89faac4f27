// Ka::Stream: the default line, whole-stream and string operations.
#include "ka/stream.h"

namespace Ka {

String Stream::readLine() {
    String sLine;
    char c;
    while (read(&c, 1) == 1) {
        if (c == '\n' || c == '\r')
            break;
        sLine.append(c);
    }
    return sLine;
}

String Stream::readAll() {
    String sAll;
    char buf[4096];
    while (!isEos()) {
        int n = read(buf, sizeof(buf));
        if (n <= 0)
            break;
        sAll.append(buf, n);
    }
    return sAll;
}

int Stream::write(const String &sBuf) {
    return write(sBuf.getConstStr(), sBuf.getSize());
}

} // namespace Ka
