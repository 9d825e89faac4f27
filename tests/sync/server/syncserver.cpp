// SyncServer: the listener, one session per connection (key exchange, AES
// session, requests and answers) and the fault switches.
#include "syncserver.h"

#include "vrel/vrel.h"

#include <QBuffer>
#include <QIODevice>
#include <QUuid>

#include <cryptopp/aes.h>
#include <cryptopp/filters.h>
#include <cryptopp/modes.h>
#include <cryptopp/osrng.h>
#include <cryptopp/rsa.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testserver {

namespace {

constexpr int kBlock = 16;
constexpr int kKeyBytes = 32;
const CryptoPP::byte aZeroIv[kBlock] = {};

using Encryptor = CryptoPP::CFB_Mode<CryptoPP::AES>::Encryption;
using Decryptor = CryptoPP::CFB_Mode<CryptoPP::AES>::Decryption;

const CryptoPP::byte *bytesOf(const QByteArray &ba) {
    return reinterpret_cast<const CryptoPP::byte *>(ba.constData());
}

// Receives up to iCount bytes; fewer only at the end of the connection.
qint64 receive(int fd, char *pBuf, qint64 iCount) {
    qint64 iGot = 0;
    while (iGot < iCount) {
        const ssize_t n = ::recv(fd, pBuf + iGot, size_t(iCount - iGot), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        iGot += n;
    }
    return iGot;
}

bool sendAll(int fd, const char *pBuf, qint64 iCount) {
    while (iCount > 0) {
        const ssize_t n = ::send(fd, pBuf, size_t(iCount), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        pBuf += n;
        iCount -= n;
    }
    return true;
}

QByteArray bytesOfValue(const Vrel::Object &rValue) {
    QByteArray baBytes;
    QBuffer buffer(&baBytes);
    buffer.open(QIODevice::WriteOnly);
    Vrel::VrelStream(&buffer).writeObject(&rValue);
    return baBytes;
}

// The 36-character text form of 16 raw id bytes; empty for other lengths.
QByteArray idText(const QByteArray &baRaw) {
    if (baRaw.size() != 16)
        return QByteArray();
    return QUuid::fromRfc4122(baRaw).toByteArray(QUuid::WithoutBraces);
}

std::unique_ptr<Vrel::Object> text(const char *sText) {
    return std::make_unique<Vrel::String>(sText);
}

// The client's request stream: raw bytes until the session key is agreed,
// then whole blocks decrypted in one continuous CFB stream.
class RequestDevice : public QIODevice {
public:
    explicit RequestDevice(int fd) : fd(fd) { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    void startAes(const QByteArray &baKey) {
        pDecryptor = std::make_unique<Decryptor>(bytesOf(baKey), size_t(baKey.size()), aZeroIv);
    }
    bool isSequential() const override { return true; }

protected:
    // The value reader never asks beyond its value, and a request fills
    // whole blocks: the blocks that hold the bytes asked for are all sent.
    qint64 readData(char *pData, qint64 iMax) override {
        if (!pDecryptor)
            return receive(fd, pData, iMax);
        if (iPlain == baPlain.size()) {
            baPlain.resize(qsizetype((iMax + kBlock - 1) / kBlock * kBlock));
            iPlain = 0;
            const qint64 iGot = receive(fd, baPlain.data(), baPlain.size());
            baPlain.resize(qsizetype(iGot / kBlock * kBlock));
            auto *p = reinterpret_cast<CryptoPP::byte *>(baPlain.data());
            pDecryptor->ProcessData(p, p, size_t(baPlain.size()));
        }
        const qint64 n = std::min<qint64>(iMax, baPlain.size() - iPlain);
        std::memcpy(pData, baPlain.constData() + iPlain, size_t(n));
        iPlain += qsizetype(n);
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    int fd;
    std::unique_ptr<Decryptor> pDecryptor;
    QByteArray baPlain;
    qsizetype iPlain = 0;
};

} // namespace

// One connection: reads requests until the client goes, answers each.
class SyncServer::Session {
public:
    Session(SyncServer &rServer, int fd) : rServer(rServer), fd(fd), requests(fd) {}
    void run();

private:
    // Under the server's lock.
    std::unique_ptr<Vrel::Object> answer(const QByteArray &baMsg, const Vrel::Dictionary &rRequest,
                                         const Faults &faults);
    std::unique_ptr<Vrel::Object> answerInVault(const QByteArray &baMsg,
                                                const Vrel::Dictionary &rRequest);
    // False when the connection is gone or must go.
    bool send(const Vrel::Object &rAnswer, const Faults &faults, bool bHalf);
    bool sendBytes(const QByteArray &baBytes, const Faults &faults);

    SyncServer &rServer;
    int fd;
    RequestDevice requests;
    std::unique_ptr<Encryptor> pEncryptor;
    QByteArray baAgreedKey;
    QByteArray baUser;
    QByteArray baVault;
    int iRequests = 0;
    int iMatching = 0;
};

void SyncServer::Session::run() {
    Vrel::VrelStream in(&requests);
    for (;;) {
        std::unique_ptr<Vrel::Object> pRequest;
        try {
            while (!pRequest && !in.atEnd())
                pRequest.reset(in.readObject());
        } catch (const Vrel::Error &) {
            return;
        }
        if (!pRequest)
            return;
        const auto *pDict = dynamic_cast<const Vrel::Dictionary *>(pRequest.get());
        const QByteArray baMsg = pDict ? pDict->valueStr("msg") : QByteArray();
        Faults faults;
        {
            std::lock_guard<std::mutex> lock(rServer.mutex);
            rServer.lRequests.push_back(baMsg);
            faults = rServer.faults;
        }
        ++iRequests;
        const bool bNamed = faults.baOn.isEmpty() || faults.baOn == baMsg;
        const Faults::Kind eStrike =
            faults.eKind != Faults::Kind::None && bNamed &&
                    (faults.baOn.isEmpty() ? iRequests : ++iMatching) == faults.iAt
                ? faults.eKind
                : Faults::Kind::None;
        if (eStrike == Faults::Kind::Drop)
            return;
        if (eStrike == Faults::Kind::Stall && rServer.pause(faults.iStallMillis))
            return;

        std::unique_ptr<Vrel::Object> pAnswer;
        {
            std::lock_guard<std::mutex> lock(rServer.mutex);
            pAnswer = pDict ? answer(baMsg, *pDict, faults) : text("Bad request");
        }
        if (eStrike == Faults::Kind::WrongKind || eStrike == Faults::Kind::Garbage)
            baAgreedKey.clear(); // no session key agreed by such an answer
        if (eStrike == Faults::Kind::WrongKind) {
            // A kind that fits neither the request nor its error answers.
            pAnswer = baMsg == "store" || baMsg == "erase"
                          ? std::unique_ptr<Vrel::Object>(new Vrel::Boolean(true))
                          : std::unique_ptr<Vrel::Object>(new Vrel::Integer(7));
        }
        if (eStrike == Faults::Kind::Garbage) {
            QByteArray baNoise(48, '\0');
            CryptoPP::AutoSeededRandomPool().GenerateBlock(
                reinterpret_cast<CryptoPP::byte *>(baNoise.data()), size_t(baNoise.size()));
            if (!sendBytes(baNoise, faults))
                return;
            continue;
        }
        if (!send(*pAnswer, faults, eStrike == Faults::Kind::DropMidAnswer))
            return;
        if (!baAgreedKey.isEmpty()) {
            requests.startAes(baAgreedKey);
            pEncryptor = std::make_unique<Encryptor>(bytesOf(baAgreedKey),
                                                     size_t(baAgreedKey.size()), aZeroIv);
            baAgreedKey.clear();
        }
    }
}

std::unique_ptr<Vrel::Object> SyncServer::Session::answer(const QByteArray &baMsg,
                                                          const Vrel::Dictionary &rRequest,
                                                          const Faults &faults) {
    if (baMsg == "hello") {
        rServer.baHelloClient = rRequest.valueStr("client");
        rServer.iHelloVersion = rRequest.valueInt("version");
        if (!faults.baHelloError.isEmpty())
            return std::make_unique<Vrel::String>(faults.baHelloError);
        auto pKey = std::make_unique<Vrel::Dictionary>();
        pKey->insert("rsaKey.pub", QByteArray::fromStdString(rServer.sPublicKey));
        return pKey;
    }
    if (baMsg == "cryptSetup") {
        if (faults.bRefuseKeyExchange)
            return std::make_unique<Vrel::Boolean>(false);
        std::string sKey;
        try {
            CryptoPP::AutoSeededRandomPool rng;
            CryptoPP::RSA::PrivateKey privateKey;
            CryptoPP::StringSource der(rServer.sPrivateKey, true);
            privateKey.Load(der);
            CryptoPP::RSAES_OAEP_SHA_Decryptor decryptor(privateKey);
            CryptoPP::StringSource(
                rRequest.valueStr("key").toStdString(), true,
                new CryptoPP::PK_DecryptorFilter(rng, decryptor, new CryptoPP::StringSink(sKey)));
        } catch (const CryptoPP::Exception &) {
            sKey.clear();
        }
        if (sKey.size() != size_t(kKeyBytes))
            return std::make_unique<Vrel::Boolean>(false);
        baAgreedKey = QByteArray::fromStdString(sKey);
        return std::make_unique<Vrel::Boolean>(true);
    }
    if (baMsg == "login") {
        const User *pUser = rServer.state.findUser(rRequest.valueStr("user"));
        const bool bAccepted =
            !faults.bRefuseLogin && pUser && pUser->baPassword == rRequest.valueStr("password");
        baUser = bAccepted ? rRequest.valueStr("user") : QByteArray();
        return std::make_unique<Vrel::Boolean>(bAccepted);
    }
    if (baUser.isEmpty())
        return text("Not logged in");
    if (baMsg == "listVaults") {
        auto pList = std::make_unique<Vrel::List>();
        for (const RemoteVault *pVault : rServer.state.vaultsOf(baUser)) {
            auto *pEntry = new Vrel::Dictionary;
            pList->append(pEntry);
            pEntry->insert("id", pVault->baId);
            pEntry->insert("name", pVault->baName);
            pEntry->insert("used", new Vrel::Integer(pVault->used()));
        }
        return pList;
    }
    if (baMsg == "newVault") {
        baVault = rServer.state.createVault(baUser, rRequest.valueStr("name")).baId;
        return std::make_unique<Vrel::String>(baVault);
    }
    if (baMsg == "selVault") {
        const RemoteVault *pVault = rServer.state.findVault(rRequest.valueStr("id"));
        const bool bOwned = pVault && pVault->baOwner == baUser;
        baVault = bOwned ? pVault->baId : QByteArray();
        return std::make_unique<Vrel::Boolean>(bOwned);
    }
    return answerInVault(baMsg, rRequest);
}

std::unique_ptr<Vrel::Object> SyncServer::Session::answerInVault(const QByteArray &baMsg,
                                                                 const Vrel::Dictionary &rRequest) {
    RemoteVault *pVault = rServer.state.findVault(baVault);
    if (!pVault)
        return text("No vault selected");
    if (baMsg == "list" || baMsg == "since") {
        const int64_t iSince = rRequest.valueInt("version");
        std::vector<std::pair<int64_t, QByteArray>> lFound;
        for (const auto &[baId, note] : pVault->hNotes)
            if (baMsg == "since" ? note.iVersion > iSince : !note.bDeleted)
                lFound.emplace_back(note.iVersion, baId);
        std::sort(lFound.begin(), lFound.end());
        auto pList = std::make_unique<Vrel::List>();
        for (const auto &[iVersion, baId] : lFound) {
            auto *pEntry = new Vrel::Dictionary;
            pList->append(pEntry);
            pEntry->insert("id", baId);
            if (baMsg == "since") {
                pEntry->insert("deleted", new Vrel::Boolean(pVault->hNotes[baId].bDeleted));
                pEntry->insert("version", new Vrel::Integer(iVersion));
            }
        }
        return pList;
    }
    const QByteArray baNote = idText(rRequest.valueStr("id"));
    if (baNote.isEmpty())
        return text("Bad id");
    const auto itNote = pVault->hNotes.find(baNote);
    const bool bLive = itNote != pVault->hNotes.end() && !itNote->second.bDeleted;
    if (baMsg == "store") {
        const QByteArray baMeta = rRequest.valueStr("meta"), baData = rRequest.valueStr("data");
        const User *pUser = rServer.state.findUser(baUser);
        const int64_t iOld =
            bLive ? itNote->second.baMeta.size() + itNote->second.baData.size() : 0;
        if (pUser->iQuota >= 0 &&
            rServer.state.usedBy(baUser) - iOld + baMeta.size() + baData.size() > pUser->iQuota)
            return text("Exceeded quota");
        return std::make_unique<Vrel::Integer>(
            rServer.state.storeNote(*pVault, baNote, baMeta, baData));
    }
    if (baMsg == "load") {
        if (!bLive)
            return text("No such note");
        auto pNote = std::make_unique<Vrel::Dictionary>();
        pNote->insert("version", new Vrel::Integer(itNote->second.iVersion));
        pNote->insert("meta", itNote->second.baMeta);
        pNote->insert("data", itNote->second.baData);
        return pNote;
    }
    if (baMsg == "erase") {
        const int64_t iVersion = rServer.state.eraseNote(*pVault, baNote);
        if (iVersion < 0)
            return text("No such note");
        return std::make_unique<Vrel::Integer>(iVersion);
    }
    return text("Unknown request");
}

bool SyncServer::Session::send(const Vrel::Object &rAnswer, const Faults &faults, bool bHalf) {
    QByteArray baBytes = bytesOfValue(rAnswer);
    if (pEncryptor) {
        baBytes.append((kBlock - baBytes.size() % kBlock) % kBlock, '\0');
        auto *p = reinterpret_cast<CryptoPP::byte *>(baBytes.data());
        pEncryptor->ProcessData(p, p, size_t(baBytes.size()));
    }
    if (bHalf) {
        sendBytes(baBytes.left(std::max<qsizetype>(1, baBytes.size() / 2)), faults);
        return false;
    }
    return sendBytes(baBytes, faults);
}

bool SyncServer::Session::sendBytes(const QByteArray &baBytes, const Faults &faults) {
    if (faults.iPiece <= 0)
        return sendAll(fd, baBytes.constData(), baBytes.size());
    for (qsizetype i = 0; i < baBytes.size(); i += faults.iPiece) {
        const qsizetype n = std::min<qsizetype>(faults.iPiece, baBytes.size() - i);
        if (!sendAll(fd, baBytes.constData() + i, n) || rServer.pause(faults.iPauseMillis))
            return false;
    }
    return true;
}

SyncServer::SyncServer(const std::string &sFolder, int iKeyBits, int iWantedPort) : state(sFolder) {
    CryptoPP::AutoSeededRandomPool rng;
    CryptoPP::InvertibleRSAFunction params;
    params.GenerateRandomWithKeySize(rng, unsigned(iKeyBits));
    CryptoPP::StringSink publicSink(sPublicKey), privateSink(sPrivateKey);
    CryptoPP::RSA::PublicKey(params).Save(publicSink);
    CryptoPP::RSA::PrivateKey(params).Save(privateSink);

    fdListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int iOn = 1;
    setsockopt(fdListen, SOL_SOCKET, SO_REUSEADDR, &iOn, sizeof iOn);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(iWantedPort));
    socklen_t iLen = sizeof addr;
    if (fdListen < 0 || ::bind(fdListen, reinterpret_cast<sockaddr *>(&addr), iLen) < 0 ||
        ::listen(fdListen, 64) < 0 ||
        getsockname(fdListen, reinterpret_cast<sockaddr *>(&addr), &iLen) < 0) {
        const std::string sError = std::strerror(errno);
        if (fdListen >= 0)
            ::close(fdListen);
        throw std::runtime_error("test server: cannot listen: " + sError);
    }
    iPort = ntohs(addr.sin_port);
    acceptThread = std::thread([this] { acceptLoop(); });
}

SyncServer::~SyncServer() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        bStopping = true;
        for (Connection &rConnection : lConnections)
            ::shutdown(rConnection.fd, SHUT_RDWR);
    }
    cvStop.notify_all();
    acceptThread.join();
    for (Connection &rConnection : lConnections) {
        rConnection.thread.join();
        ::close(rConnection.fd);
    }
    ::close(fdListen);
}

void SyncServer::acceptLoop() {
    for (;;) {
        pollfd poller{fdListen, POLLIN, 0};
        const int iReady = ::poll(&poller, 1, 20);
        std::lock_guard<std::mutex> lock(mutex);
        if (bStopping)
            return;
        reapConnections();
        if (iReady <= 0)
            continue;
        const int fd = ::accept4(fdListen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int iOn = 1;
        // Pieces of an answer must leave as pieces.
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &iOn, sizeof iOn);
        ++iConnections;
        Connection &rConnection = lConnections.emplace_back();
        rConnection.fd = fd;
        rConnection.thread = std::thread([this, &rConnection] {
            try {
                Session(*this, rConnection.fd).run();
            } catch (const std::exception &) {
                // A request the test server cannot serve ends the connection.
            }
            ::shutdown(rConnection.fd, SHUT_RDWR);
            rConnection.bDone = true;
        });
    }
}

void SyncServer::reapConnections() {
    for (auto it = lConnections.begin(); it != lConnections.end();) {
        if (!it->bDone) {
            ++it;
            continue;
        }
        it->thread.join();
        ::close(it->fd);
        it = lConnections.erase(it);
    }
}

bool SyncServer::pause(int iMillis) {
    std::unique_lock<std::mutex> lock(mutex);
    return cvStop.wait_for(lock, std::chrono::milliseconds(iMillis), [this] { return bStopping; });
}

void SyncServer::setUser(const QByteArray &baName, const QByteArray &baPassword, int64_t iQuota) {
    std::lock_guard<std::mutex> lock(mutex);
    state.setUser(baName, baPassword, iQuota);
}

void SyncServer::setFaults(const Faults &newFaults) {
    std::lock_guard<std::mutex> lock(mutex);
    faults = newFaults;
}

std::vector<QByteArray> SyncServer::getRequests() const {
    std::lock_guard<std::mutex> lock(mutex);
    return lRequests;
}

void SyncServer::clearRequests() {
    std::lock_guard<std::mutex> lock(mutex);
    lRequests.clear();
}

QByteArray SyncServer::getHelloClient() const {
    std::lock_guard<std::mutex> lock(mutex);
    return baHelloClient;
}

int64_t SyncServer::getHelloVersion() const {
    std::lock_guard<std::mutex> lock(mutex);
    return iHelloVersion;
}

int SyncServer::getConnectionCount() const {
    std::lock_guard<std::mutex> lock(mutex);
    return iConnections;
}

std::vector<RemoteVault> SyncServer::vaultsOf(const QByteArray &baOwner) const {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<RemoteVault> lVaults;
    for (const RemoteVault *pVault : state.vaultsOf(baOwner))
        lVaults.push_back(*pVault);
    return lVaults;
}

} // namespace testserver
