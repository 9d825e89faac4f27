// Ka::String::FormatProxy: filling numbered arguments into a format string.
#include "ka/formatproxy.h"

#include "ka/exception.h"
#include "ka/formatter.h"
#include "ka/membuf.h"

#include <climits>
#include <vector>

namespace Ka {

String::FormatProxy::operator String() const {
    std::vector<const Arg *> vArgs;
    vArgs.reserve(size_t(lArgs.getSize()));
    for (const Arg &a : lArgs)
        vArgs.push_back(&a);
    const int nArgs = int(vArgs.size());

    MemBuf mbOut;
    Formatter f(mbOut);
    // Literal bytes are gathered and written in runs.
    char sRun[256];
    int nRun = 0;
    auto flushRun = [&] {
        f.write(sRun, nRun);
        nRun = 0;
    };

    String::const_iterator it = sFormat.begin();
    while (it.isValid()) {
        char c = *it;
        ++it;
        if (c != '%') {
            if (nRun == int(sizeof sRun))
                flushRun();
            sRun[nRun++] = c;
            continue;
        }
        // Throws "Not a valid const_iterator." when '%' ends the text.
        if (*it == '%') {
            ++it;
            if (nRun == int(sizeof sRun))
                flushRun();
            sRun[nRun++] = '%';
            continue;
        }
        // Beyond INT_MAX the number only has to stay out of range.
        long long iIndex = 0;
        for (; it.isValid() && *it >= '0' && *it <= '9'; ++it) {
            if (iIndex <= INT_MAX)
                iIndex = iIndex * 10 + (*it - '0');
        }
        if (iIndex > INT_MAX)
            iIndex = INT_MAX;
        if (iIndex < 1 || iIndex > nArgs)
            throw ExceptionBase("Argument index %d is outside of valid range (1-%d).", int(iIndex),
                                nArgs);
        flushRun();
        const Arg &a = *vArgs[size_t(iIndex - 1)];
        f << a.format << a.value;
        if (it.isValid()) {
            sRun[nRun++] = *it;
            ++it;
        }
    }
    flushRun();
    return mbOut.getString();
}

} // namespace Ka
