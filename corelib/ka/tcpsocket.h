// Ka::TcpSocket: one outgoing TCP connection as a Ka::Stream, on BSD sockets.
#pragma once

#include "ka/stream.h"

namespace Ka {

// Failures are TcpSocketException with these codes:
//   0  "Couldn't resolve hostname <host> (<number>).\n" when name resolution
//      fails; the system's error text when the connection is refused or
//      fails, or a wait for the socket or a receive fails;
//   1  the system's error text when a send fails;
//   2  "Bad Read error" when canRead or canWrite cannot poll the socket;
//   3  "TcpSocket closed." when the peer has closed the connection, or on
//      any read or write after the socket was closed;
//   4  "Read timeout." or "Write timeout." when a blocking read or write
//      waited longer than the time-out set with setTimeout.
// A connection that is not made within the connect time-out throws
// ExceptionBase "Connection timeout.\n". Every failure of an open
// connection closes the socket first: it is of no use afterwards.
//
// A peer that closed the connection never raises SIGPIPE. Reads and writes
// may transfer fewer bytes than asked; callers loop. Positioning is not
// supported (UnsupportedException). One thread at a time.
class TcpSocket : public Stream {
public:
    // Resolves sHost (a name, an IPv4 or an IPv6 address) and connects to
    // iPort, trying each address the name resolves to in turn. With a
    // positive iTimeout it waits at most that many seconds in all for the
    // connection; with 0 or less it only starts the connection (a failure
    // then shows at the first read or write). Once connected the socket
    // reads and writes in the mode bBlocking gives.
    TcpSocket(const String &sHost, int iPort, int iTimeout, bool bBlocking);
    // Takes ownership of a connected socket, in blocking mode; the address
    // is the peer's numeric address.
    explicit TcpSocket(int nSocket);
    ~TcpSocket() override;

    using Stream::write;

    // Shuts the connection down in both directions and closes the socket.
    void close() override;
    // Blocking mode: waits for data (at most the time-out) and returns what
    // has arrived, at least 1 byte. Non-blocking mode: returns what has
    // arrived, 0 when nothing has. A count below 1 returns 0.
    int read(void *pBuf, int nBytes) override;
    // Sends once and returns the bytes the system took, which may be fewer
    // than asked. Blocking mode waits (at most the time-out) until some can
    // be sent; non-blocking mode returns 0 when none can.
    int write(const void *pBuf, int nBytes) override;
    int tell() override;
    void seek(int iOffset) override;
    void setPos(int iPos) override;
    void setPosEnd(int iPos) override;
    bool isEos() override { return !bActive; }
    bool isOpen() override { return bActive; }
    void flush() override {}
    // Whether a read or write would not wait now.
    bool canRead() override;
    bool canWrite() override;
    bool isReadable() override { return true; }
    bool isWritable() override { return true; }
    bool isSeekable() override { return false; }
    // Always false; the mode set with setBlocking is kept apart.
    bool isBlocking() override { return false; }
    void setBlocking(bool bBlocking) override;
    void setSize(int) override {}
    int getSize() override;
    int getBlockSize() override { return 1500; }
    String getLocation() override { return sAddress; }

    // Transfers up to nBytes, waiting for the socket at most iSeconds and
    // iMicroseconds at a time, until all are done or that much time has
    // passed since the call; returns the bytes done.
    virtual int read(void *pBuf, int nBytes, int iSeconds, int iMicroseconds);
    virtual int write(const void *pBuf, int nBytes, int iSeconds, int iMicroseconds);

    // The canonical name the host resolved to (or the peer's address).
    String getAddress() const { return sAddress; }
    int getSocket() const { return nTcpSocket; }
    // Hands the socket over to the caller; this object no longer closes it.
    int takeSocket();

    // Sends small writes at once instead of gathering them until the
    // peer acknowledges the last (Nagle's rule), which in a request and
    // answer exchange costs a delayed acknowledgement per request.
    void setNoDelay(bool bNoDelay);

    // How long a blocking read or write waits for the peer before it gives
    // up, in seconds; 0 (the default) waits for ever.
    void setTimeout(int iSeconds) { iIoTimeout = iSeconds > 0 ? iSeconds : 0; }
    int getTimeout() const { return iIoTimeout; }

private:
    void connectTo(const String &sHost, int iPort, int iTimeout);
    void requireOpen() const;
    // Waits until the socket is ready for iEvents, at most iMillis (-1: for
    // ever); false when the time ran out.
    bool waitFor(short iEvents, int iMillis);
    // One receive or send that never waits: the bytes done, 0 when the
    // socket is not ready.
    int receiveOnce(void *pBuf, int nBytes);
    int sendOnce(const void *pBuf, int nBytes);
    // A plain read or write (bRead false: pBuf is only read from).
    int transfer(bool bRead, void *pBuf, int nBytes);
    int transferFor(bool bRead, char *pBuf, int nBytes, int iSeconds, int iMicroseconds);
    // A poll that does not wait; throws code 2 when it fails.
    bool isReady(short iEvents);
    [[noreturn]] void fail(int iCode, int iError);

    int nTcpSocket = -1;
    bool bActive = false;
    bool bBlocking = true;
    String sAddress;
    int iIoTimeout = 0;
};

} // namespace Ka
