// SyncServer: a sync server for the tests and benchmarks that speaks the
// wire protocol for real over TCP on 127.0.0.1, with switches for the
// faults a real server shows.
#pragma once

#include "serverstate.h"

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testserver {

// What the server does wrong. Changes take effect with the next request.
struct Faults {
    // Not empty: hello is answered with this text instead of the key.
    QByteArray baHelloError;
    bool bRefuseKeyExchange = false;
    // Every login is refused, whatever the password.
    bool bRefuseLogin = false;

    enum class Kind {
        None,
        Drop,          // the connection is closed instead of an answer
        DropMidAnswer, // half of the answer's bytes, then the connection is closed
        WrongKind,     // an answer of a kind that does not fit the request
        Garbage,       // random bytes instead of the answer
        Stall,         // nothing for iStallMillis, then the answer
    };
    // eKind strikes at the iAt-th request of a connection (counting from 1,
    // hello included) whose "msg" is baOn, or of any name when baOn is empty.
    Kind eKind = Kind::None;
    int iAt = 0;
    QByteArray baOn;
    int iStallMillis = 0;

    // Above 0: every answer goes out in pieces of this many bytes, with a
    // pause of iPauseMillis after each.
    int iPiece = 0;
    int iPauseMillis = 0;
};

// Listens on a free port of 127.0.0.1 (or iPort) from construction until
// destruction; one thread per connection. Each start makes a new RSA key
// pair of iKeyBits. The state lives in sFolder: a server started again over
// the same folder knows the users and vaults of the one before.
//
// Requests: hello and cryptSetup in the clear, then AES-256-CFB from the
// session key with a zero IV, one continuous stream per direction, every
// answer filled with zero bytes to whole 16-byte blocks. All methods are
// thread-safe.
class SyncServer {
public:
    explicit SyncServer(const std::string &sFolder, int iKeyBits = 1024, int iPort = 0);
    ~SyncServer();
    SyncServer(const SyncServer &) = delete;
    SyncServer &operator=(const SyncServer &) = delete;

    int getPort() const { return iPort; }
    // iQuota: bytes over all the user's vaults; -1 for none.
    void setUser(const QByteArray &baName, const QByteArray &baPassword, int64_t iQuota = -1);
    void setFaults(const Faults &faults);

    // What clients sent: the "msg" of every request in order of arrival,
    // and the "client" and "version" of the last hello.
    std::vector<QByteArray> getRequests() const;
    void clearRequests();
    QByteArray getHelloClient() const;
    int64_t getHelloVersion() const;
    int getConnectionCount() const;

    // Copies of a user's remote vaults.
    std::vector<RemoteVault> vaultsOf(const QByteArray &baOwner) const;

private:
    class Session;
    struct Connection {
        std::thread thread;
        int fd;
        std::atomic<bool> bDone{false};
    };

    void acceptLoop();
    void reapConnections();
    // Waits iMillis or until the server stops; true when it stops.
    bool pause(int iMillis);

    int iPort = 0;
    int fdListen = -1;
    std::string sPublicKey;  // DER, X.509 SubjectPublicKeyInfo
    std::string sPrivateKey; // DER, PKCS #8

    mutable std::mutex mutex;
    std::condition_variable cvStop;
    bool bStopping = false;
    ServerState state;
    Faults faults;
    std::vector<QByteArray> lRequests;
    QByteArray baHelloClient;
    int64_t iHelloVersion = 0;
    int iConnections = 0;

    std::list<Connection> lConnections; // under mutex
    std::thread acceptThread;
};

} // namespace testserver
