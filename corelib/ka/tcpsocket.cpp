// Ka::TcpSocket: name resolution, a connect with a time-out, and reads and
// writes that wait with poll, so that no call waits longer than it may.
#include "ka/tcpsocket.h"

#include "ka/exception.h"
#include "ka/winsock2.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Ka {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until tDeadline, never below 0.
int millisLeft(Clock::time_point tDeadline) {
    const auto iLeft =
        std::chrono::duration_cast<std::chrono::milliseconds>(tDeadline - Clock::now()).count();
    return int(std::clamp<long long>(iLeft, 0, INT_MAX));
}

struct AddrInfoFree {
    void operator()(addrinfo *p) const { freeaddrinfo(p); }
};

} // namespace

TcpSocket::TcpSocket(const String &sHost, int iPort, int iTimeout, bool bBlocking) {
    connectTo(sHost, iPort, iTimeout);
    setBlocking(bBlocking);
}

TcpSocket::TcpSocket(int nSocket) : nTcpSocket(nSocket), bActive(nSocket >= 0) {
    sockaddr_storage addr{};
    socklen_t iLen = sizeof addr;
    char sHost[NI_MAXHOST];
    if (bActive && getpeername(nSocket, reinterpret_cast<sockaddr *>(&addr), &iLen) == 0 &&
        getnameinfo(reinterpret_cast<sockaddr *>(&addr), iLen, sHost, sizeof sHost, nullptr, 0,
                    NI_NUMERICHOST) == 0)
        sAddress = sHost;
}

TcpSocket::~TcpSocket() {
    close();
}

void TcpSocket::connectTo(const String &sHost, int iPort, int iTimeout) {
    Winsock2::getInstance();
    const Clock::time_point tDeadline = Clock::now() + std::chrono::seconds(std::max(iTimeout, 0));
    const char *pHost = sHost.getConstStr();
    char sPort[16];
    std::snprintf(sPort, sizeof sPort, "%d", iPort);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo *pFound = nullptr;
    // A zero byte inside the name would resolve another name.
    const int iResolved = int(std::strlen(pHost)) != sHost.getSize()
                              ? EAI_NONAME
                              : getaddrinfo(pHost, sPort, &hints, &pFound);
    if (iResolved != 0)
        throw TcpSocketException(0, "Couldn't resolve hostname %s (%d).\n", pHost, iResolved);
    std::unique_ptr<addrinfo, AddrInfoFree> pAddresses(pFound);

    int iLastError = ECONNREFUSED;
    for (const addrinfo *pAddr = pFound; pAddr; pAddr = pAddr->ai_next) {
        const int fd = ::socket(pAddr->ai_family, pAddr->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                                pAddr->ai_protocol);
        if (fd < 0) {
            iLastError = errno;
            continue;
        }
        nTcpSocket = fd;
        bActive = true;
        bBlocking = false;
        int iResult = ::connect(fd, pAddr->ai_addr, pAddr->ai_addrlen);
        if (iResult < 0 && (errno == EINPROGRESS || errno == EINTR)) {
            // Without a time-out the connection goes on by itself.
            if (iTimeout <= 0)
                break;
            if (!waitFor(POLLOUT, millisLeft(tDeadline))) {
                close();
                throw ExceptionBase("Connection timeout.\n");
            }
            int iError = 0;
            socklen_t iLen = sizeof iError;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &iError, &iLen) < 0)
                iError = errno;
            errno = iError;
            iResult = iError == 0 ? 0 : -1;
        }
        if (iResult == 0)
            break;
        iLastError = errno;
        close();
    }
    if (!bActive)
        throw TcpSocketException(0, "%s", Winsock2::getErrorMessage(iLastError).getConstStr());
    sAddress = pFound->ai_canonname ? pFound->ai_canonname : pHost;
}

void TcpSocket::close() {
    if (bActive) {
        ::shutdown(nTcpSocket, SHUT_RDWR);
        ::close(nTcpSocket);
    }
    nTcpSocket = -1;
    bActive = false;
}

void TcpSocket::fail(int iCode, int iError) {
    close();
    throw TcpSocketException(iCode, "%s", Winsock2::getErrorMessage(iError).getConstStr());
}

void TcpSocket::requireOpen() const {
    if (!bActive)
        throw TcpSocketException(3, "TcpSocket closed.");
}

bool TcpSocket::waitFor(short iEvents, int iMillis) {
    const Clock::time_point tDeadline = Clock::now() + std::chrono::milliseconds(iMillis);
    pollfd poller{nTcpSocket, iEvents, 0};
    for (;;) {
        const int iReady = ::poll(&poller, 1, iMillis < 0 ? -1 : millisLeft(tDeadline));
        if (iReady > 0)
            return true;
        if (iReady == 0)
            return false;
        if (errno != EINTR)
            fail(0, errno);
    }
}

int TcpSocket::receiveOnce(void *pBuf, int nBytes) {
    for (;;) {
        const ssize_t n = ::recv(nTcpSocket, pBuf, size_t(nBytes), MSG_DONTWAIT);
        if (n > 0)
            return int(n);
        if (n == 0) {
            close();
            throw TcpSocketException(3, "TcpSocket closed.");
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        if (errno != EINTR)
            fail(0, errno);
    }
}

int TcpSocket::sendOnce(const void *pBuf, int nBytes) {
    for (;;) {
        const ssize_t n = ::send(nTcpSocket, pBuf, size_t(nBytes), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0)
            return int(n);
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        if (errno != EINTR)
            fail(1, errno);
    }
}

int TcpSocket::transfer(bool bRead, void *pBuf, int nBytes) {
    requireOpen();
    if (nBytes < 1)
        return 0;
    const auto once = [&] { return bRead ? receiveOnce(pBuf, nBytes) : sendOnce(pBuf, nBytes); };
    if (!bBlocking)
        return once();
    const int iMillis = iIoTimeout > 0 ? std::min(iIoTimeout, INT_MAX / 1000) * 1000 : -1;
    // Tried first: the socket is mostly ready, and then the wait costs a
    // call for nothing.
    for (;;) {
        if (const int n = once())
            return n;
        if (!waitFor(bRead ? POLLIN : POLLOUT, iMillis)) {
            close();
            throw TcpSocketException(4, bRead ? "Read timeout." : "Write timeout.");
        }
    }
}

int TcpSocket::transferFor(bool bRead, char *pBuf, int nBytes, int iSeconds, int iMicroseconds) {
    requireOpen();
    const int iSlice = std::clamp(iSeconds, 0, INT_MAX / 1000 - 1) * 1000 +
                       std::clamp(iMicroseconds, 0, 999999) / 1000;
    const Clock::time_point tDeadline = Clock::now() + std::chrono::milliseconds(iSlice);
    int nDone = 0;
    while (nDone < nBytes) {
        if (waitFor(bRead ? POLLIN : POLLOUT, std::min(iSlice, millisLeft(tDeadline))))
            nDone += bRead ? receiveOnce(pBuf + nDone, nBytes - nDone)
                           : sendOnce(pBuf + nDone, nBytes - nDone);
        if (Clock::now() >= tDeadline)
            break;
    }
    return nDone;
}

int TcpSocket::read(void *pBuf, int nBytes) {
    return transfer(true, pBuf, nBytes);
}

int TcpSocket::write(const void *pBuf, int nBytes) {
    // Only the receiving side writes into the buffer.
    return transfer(false, const_cast<void *>(pBuf), nBytes);
}

int TcpSocket::read(void *pBuf, int nBytes, int iSeconds, int iMicroseconds) {
    return transferFor(true, static_cast<char *>(pBuf), nBytes, iSeconds, iMicroseconds);
}

int TcpSocket::write(const void *pBuf, int nBytes, int iSeconds, int iMicroseconds) {
    return transferFor(false, static_cast<char *>(const_cast<void *>(pBuf)), nBytes, iSeconds,
                       iMicroseconds);
}

int TcpSocket::tell() {
    throw UnsupportedException();
}

void TcpSocket::seek(int) {
    throw UnsupportedException();
}

void TcpSocket::setPos(int) {
    throw UnsupportedException();
}

void TcpSocket::setPosEnd(int) {
    throw UnsupportedException();
}

int TcpSocket::getSize() {
    throw UnsupportedException();
}

bool TcpSocket::isReady(short iEvents) {
    if (!bActive)
        return false;
    pollfd poller{nTcpSocket, iEvents, 0};
    const int iReady = ::poll(&poller, 1, 0);
    if (iReady < 0)
        throw TcpSocketException(2, "Bad Read error");
    return iReady > 0;
}

bool TcpSocket::canRead() {
    return isReady(POLLIN);
}

bool TcpSocket::canWrite() {
    return isReady(POLLOUT);
}

void TcpSocket::setBlocking(bool bBlock) {
    bBlocking = bBlock;
    if (nTcpSocket < 0)
        return;
    // The calls themselves never wait (they poll first); the flag still
    // tells anyone who takes the socket which mode it is in.
    const int iFlags = fcntl(nTcpSocket, F_GETFL);
    if (iFlags >= 0)
        fcntl(nTcpSocket, F_SETFL, bBlock ? iFlags & ~O_NONBLOCK : iFlags | O_NONBLOCK);
}

void TcpSocket::setNoDelay(bool bNoDelay) {
    const int iOn = bNoDelay ? 1 : 0;
    if (bActive)
        setsockopt(nTcpSocket, IPPROTO_TCP, TCP_NODELAY, &iOn, sizeof iOn);
}

int TcpSocket::takeSocket() {
    const int n = nTcpSocket;
    nTcpSocket = -1;
    bActive = false;
    return n;
}

} // namespace Ka
