// Ka::TcpSocket against listeners on the loopback interface: connecting,
// refusals and time-outs, a peer that closes, and transfers larger than the
// system takes at once.
#include "ka/tcpsocket.h"

#include "ka/exception.h"
#include "support/checks.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using support::failureOf;

// A listening socket on a free port of a loopback address; accepts only
// when asked.
class Listener {
public:
    explicit Listener(int iBacklog = 8, bool bIpv6 = false) {
        fd = ::socket(bIpv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage addr{};
        socklen_t iLen;
        if (bIpv6) {
            auto *p6 = reinterpret_cast<sockaddr_in6 *>(&addr);
            p6->sin6_family = AF_INET6;
            p6->sin6_addr = in6addr_loopback;
            iLen = sizeof *p6;
        } else {
            auto *p4 = reinterpret_cast<sockaddr_in *>(&addr);
            p4->sin_family = AF_INET;
            p4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            iLen = sizeof *p4;
        }
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&addr), iLen) < 0 ||
            ::listen(fd, iBacklog) < 0 ||
            getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &iLen) < 0)
            throw std::runtime_error("no loopback listener");
        iPort = ntohs(bIpv6 ? reinterpret_cast<sockaddr_in6 *>(&addr)->sin6_port
                            : reinterpret_cast<sockaddr_in *>(&addr)->sin_port);
    }
    ~Listener() { ::close(fd); }
    int accept() const { return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC); }

    int fd;
    int iPort;
};

// The peer's end of a connection, closed with the object.
struct Peer {
    int fd;
    explicit Peer(int fd) : fd(fd) {}
    ~Peer() {
        if (fd >= 0)
            ::close(fd);
    }
    void send(const std::string &s) const {
        ASSERT_EQ(::send(fd, s.data(), s.size(), 0), ssize_t(s.size()));
    }
    std::string receive(size_t iCount) const {
        std::string s(iCount, '\0');
        size_t iGot = 0;
        while (iGot < iCount) {
            const ssize_t n = ::recv(fd, s.data() + iGot, iCount - iGot, 0);
            if (n <= 0)
                break;
            iGot += size_t(n);
        }
        s.resize(iGot);
        return s;
    }
    // Closes with a reset rather than an orderly end.
    void reset() {
        linger off{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &off, sizeof off);
        ::close(fd);
        fd = -1;
    }
};

std::unique_ptr<Ka::TcpSocket> connectTo(const Listener &listener, bool bBlocking = true,
                                         const char *sHost = "127.0.0.1") {
    return std::make_unique<Ka::TcpSocket>(sHost, listener.iPort, 5, bBlocking);
}

std::string readSome(Ka::TcpSocket &rSocket, int iMax) {
    std::string s(size_t(iMax), '\0');
    s.resize(size_t(rSocket.read(s.data(), iMax)));
    return s;
}

TEST(TcpSocket, ConnectsReadsAndWritesOverLoopback) {
    Listener listener;
    // "localhost" may name ::1 first, where nobody listens: the next address serves.
    for (const char *sHost : {"127.0.0.1", "localhost"}) {
        auto pSocket = connectTo(listener, true, sHost);
        Peer peer(listener.accept());
        EXPECT_TRUE(pSocket->isOpen());
        EXPECT_FALSE(pSocket->isEos());
        EXPECT_FALSE(pSocket->isBlocking());
        EXPECT_EQ(pSocket->getBlockSize(), 1500);
        EXPECT_FALSE(pSocket->getAddress().isEmpty());
        EXPECT_EQ(pSocket->getLocation(), pSocket->getAddress());
        EXPECT_FALSE(pSocket->canRead());
        EXPECT_TRUE(pSocket->canWrite());

        peer.send("hello");
        EXPECT_EQ(readSome(*pSocket, 100), "hello");
        EXPECT_EQ(pSocket->write(Ka::String("world")), 5);
        EXPECT_EQ(peer.receive(5), "world");
        EXPECT_EQ(pSocket->read(nullptr, 0), 0);
        EXPECT_THROW(pSocket->seek(1), Ka::UnsupportedException);
        EXPECT_THROW(pSocket->tell(), Ka::UnsupportedException);
        EXPECT_THROW(pSocket->getSize(), Ka::UnsupportedException);
    }
}

TEST(TcpSocket, Ipv6Loopback) {
    std::unique_ptr<Listener> pListener;
    try {
        pListener = std::make_unique<Listener>(8, true);
    } catch (const std::runtime_error &) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    auto pSocket = connectTo(*pListener, true, "::1");
    Peer peer(pListener->accept());
    EXPECT_EQ(pSocket->getAddress(), "::1");
    peer.send("six");
    EXPECT_EQ(readSome(*pSocket, 10), "six");
}

TEST(TcpSocket, RefusalsAndUnresolvableNames) {
    int iFreePort;
    {
        Listener gone;
        iFreePort = gone.iPort;
    }
    auto refused =
        failureOf<Ka::TcpSocketException>([&] { Ka::TcpSocket("127.0.0.1", iFreePort, 5, true); });
    EXPECT_EQ(refused.first, "Connection refused");
    EXPECT_EQ(refused.second, 0);

    // Names that fail without asking any name server.
    for (const Ka::String &sHost : {Ka::String(""), Ka::String("a\0b", 3)}) {
        auto unknown =
            failureOf<Ka::TcpSocketException>([&] { Ka::TcpSocket(sHost, 19919, 5, true); });
        const std::string sPrefix =
            "Couldn't resolve hostname " + std::string(sHost.getConstStr()) + " (";
        EXPECT_EQ(unknown.first.rfind(sPrefix, 0), 0u) << unknown.first;
        EXPECT_EQ(unknown.first.substr(unknown.first.size() - 3), ").\n");
        EXPECT_EQ(unknown.second, 0);
    }
}

// A listener whose queue is full drops further connection requests, so
// they never complete.
TEST(TcpSocket, ConnectTimesOutWhenNobodyAccepts) {
    Listener listener(0);
    Ka::TcpSocket first("127.0.0.1", listener.iPort, 5, true);
    auto failure = failureOf([&] { Ka::TcpSocket("127.0.0.1", listener.iPort, 1, true); });
    EXPECT_EQ(failure.first, "Connection timeout.\n");
    EXPECT_EQ(failure.second, 0);
}

TEST(TcpSocket, BlockingAndNonBlockingReads) {
    Listener listener;
    auto pSocket = connectTo(listener, false);
    Peer peer(listener.accept());
    char c;
    EXPECT_EQ(pSocket->read(&c, 1), 0);
    // The timed read gives up after its time with what it has.
    peer.send("ab");
    std::string s(4, '\0');
    EXPECT_EQ(pSocket->read(s.data(), 4, 0, 200000), 2);
    EXPECT_EQ(s.substr(0, 2), "ab");

    pSocket->setBlocking(true);
    pSocket->setTimeout(1);
    EXPECT_EQ(pSocket->getTimeout(), 1);
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        peer.send("late");
    });
    EXPECT_EQ(readSome(*pSocket, 10), "late");
    late.join();
    auto timeout = failureOf<Ka::TcpSocketException>([&] { pSocket->read(&c, 1); });
    EXPECT_EQ(timeout.first, "Read timeout.");
    EXPECT_EQ(timeout.second, 4);
    EXPECT_FALSE(pSocket->isOpen());
}

TEST(TcpSocket, PeerClosingMidRead) {
    Listener listener;
    auto pSocket = connectTo(listener);
    {
        Peer peer(listener.accept());
        peer.send("0123456789");
    }
    EXPECT_EQ(readSome(*pSocket, 100), "0123456789");
    char c;
    auto closed = failureOf<Ka::TcpSocketException>([&] { pSocket->read(&c, 1); });
    EXPECT_EQ(closed.first, "TcpSocket closed.");
    EXPECT_EQ(closed.second, 3);
    EXPECT_FALSE(pSocket->isOpen());
    EXPECT_TRUE(pSocket->isEos());
    EXPECT_FALSE(pSocket->canRead());
    EXPECT_EQ(failureOf<Ka::TcpSocketException>([&] { pSocket->write(&c, 1); }).second, 3);
}

// Without care a send to a reset connection raises SIGPIPE, which ends the
// whole program.
TEST(TcpSocket, WritingToAResetConnectionThrows) {
    Listener listener;
    auto pSocket = connectTo(listener);
    Peer peer(listener.accept());
    peer.reset();
    const std::string sChunk(65536, 'x');
    auto failure = failureOf<Ka::TcpSocketException>([&] {
        for (int i = 0; i < 1000; ++i)
            pSocket->write(sChunk.data(), int(sChunk.size()));
    });
    EXPECT_EQ(failure.second, 1) << failure.first;
    EXPECT_FALSE(pSocket->isOpen());
}

TEST(TcpSocket, LargeTransfersComeInPieces) {
    Listener listener;
    auto pSocket = connectTo(listener, false);
    Peer peer(listener.accept());
    std::string sData(8 << 20, '\0');
    for (size_t i = 0; i < sData.size(); ++i)
        sData[i] = char(i * 7919 >> 5);

    // Nobody reads yet: a non-blocking write takes only what fits.
    const int iFirst = pSocket->write(sData.data(), int(sData.size()));
    EXPECT_GT(iFirst, 0);
    EXPECT_LT(iFirst, int(sData.size()));
    EXPECT_EQ(pSocket->write(sData.data() + iFirst, int(sData.size()) - iFirst), 0);

    std::string sEchoed;
    std::thread echo([&] {
        const std::string sGot = peer.receive(sData.size());
        peer.send(sGot);
    });
    pSocket->setBlocking(true);
    pSocket->setTimeout(10);
    for (int iDone = iFirst; iDone < int(sData.size());)
        iDone += pSocket->write(sData.data() + iDone, int(sData.size()) - iDone);
    while (sEchoed.size() < sData.size())
        sEchoed += readSome(*pSocket, 1 << 20);
    echo.join();
    EXPECT_TRUE(sEchoed == sData);
}

TEST(TcpSocket, WrappedAndTakenHandles) {
    Listener listener;
    auto pSocket = connectTo(listener);
    const int fd = listener.accept();
    {
        Ka::TcpSocket wrapped(fd);
        EXPECT_EQ(wrapped.getAddress(), "127.0.0.1");
        EXPECT_EQ(wrapped.getSocket(), fd);
        EXPECT_EQ(wrapped.write(Ka::String("x")), 1);
        EXPECT_EQ(wrapped.takeSocket(), fd);
        EXPECT_FALSE(wrapped.isOpen());
    }
    // The taken handle outlived its wrapper.
    Peer peer(fd);
    peer.send("y");
    EXPECT_EQ(readSome(*pSocket, 2), "xy");
}

} // namespace
