// Ka::Winsock2: error numbers and texts of the socket calls.
#include "ka/winsock2.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace Ka {

const char *Winsock2::getLastErrorText() {
    static thread_local char sBuf[16];
    std::snprintf(sBuf, sizeof sBuf, "%d", errno);
    return sBuf;
}

String Winsock2::getLastErrorMessage() {
    return getErrorMessage(errno);
}

String Winsock2::getErrorMessage(int iError) {
    // strerror is not safe while another thread fails at the same moment.
    char sBuf[256];
    return String(strerror_r(iError, sBuf, sizeof sBuf));
}

} // namespace Ka
