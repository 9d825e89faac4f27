// HttpServer: one request per connection, the answer framed and paced as
// the test set it.
#include "support/httpserver.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace {

// The longest request head taken; a test never sends more.
constexpr int kMaxHead = 64 * 1024;

// A body on its way out.
struct Transfer {
    HttpServer::Reply reply;
    QByteArray baBody; // the bytes to send, already cut
    qint64 iSent = 0;
};

void sendPieces(QPointer<QTcpSocket> pSocket, std::shared_ptr<Transfer> pTransfer) {
    while (pSocket) {
        const HttpServer::Reply &r = pTransfer->reply;
        const bool bChunked = r.eFraming == HttpServer::Reply::Chunked;
        if (pTransfer->iSent >= pTransfer->baBody.size()) {
            const bool bCut = r.iCutAfter >= 0 && r.iCutAfter < r.baBody.size();
            if (bCut && r.eCut == HttpServer::Reply::Stall)
                return;
            if (bChunked && !bCut)
                pSocket->write("0\r\n\r\n");
            pSocket->disconnectFromHost();
            return;
        }
        const qint64 iLeft = pTransfer->baBody.size() - pTransfer->iSent;
        const qint64 iPiece = r.iPieceBytes > 0 ? std::min<qint64>(r.iPieceBytes, iLeft) : iLeft;
        const QByteArray baPiece = pTransfer->baBody.mid(pTransfer->iSent, iPiece);
        if (bChunked)
            pSocket->write(QByteArray::number(iPiece, 16) + "\r\n" + baPiece + "\r\n");
        else
            pSocket->write(baPiece);
        pTransfer->iSent += iPiece;
        if (r.iPieceDelayMs > 0) {
            QTimer::singleShot(r.iPieceDelayMs, pSocket.data(),
                               [pSocket, pTransfer] { sendPieces(pSocket, pTransfer); });
            return;
        }
    }
}

} // namespace

HttpServer::HttpServer() : pServer(std::make_unique<QTcpServer>()) {
    if (!pServer->listen(QHostAddress::LocalHost))
        qFatal("HttpServer: cannot listen on the loopback address");
    QObject::connect(pServer.get(), &QTcpServer::newConnection, pServer.get(),
                     [this] { accept(); });
}

HttpServer::~HttpServer() = default;

QUrl HttpServer::baseUrl() const {
    return QUrl(QString("http://127.0.0.1:%1").arg(pServer->serverPort()));
}

QUrl HttpServer::url(const QString &sPathAndQuery) const {
    return QUrl(baseUrl().toString() + sPathAndQuery);
}

void HttpServer::setReply(const QString &sPath, const Reply &rReply) {
    hReplies.insert(sPath, rReply);
}

int HttpServer::requestCount(const QString &sPath) const {
    return hCounts.value(sPath);
}

QByteArray HttpServer::lastRequest() const {
    return baLastRequest;
}

void HttpServer::accept() {
    while (QTcpSocket *pSocket = pServer->nextPendingConnection()) {
        QObject::connect(pSocket, &QTcpSocket::disconnected, pSocket, &QObject::deleteLater);
        auto pHead = std::make_shared<QByteArray>();
        QObject::connect(pSocket, &QTcpSocket::readyRead, pSocket, [this, pSocket, pHead] {
            if (pHead->endsWith("\r\n\r\n"))
                return; // answered already; a client sends one request
            pHead->append(pSocket->readAll());
            if (pHead->size() > kMaxHead) {
                pSocket->abort();
                return;
            }
            const qsizetype iEnd = pHead->indexOf("\r\n\r\n");
            if (iEnd < 0)
                return;
            pHead->truncate(iEnd + 4);
            answer(pSocket, *pHead);
        });
    }
}

void HttpServer::answer(QTcpSocket *pSocket, const QByteArray &baHead) {
    baLastRequest = baHead;
    // "GET /path?query HTTP/1.1"
    const QList<QByteArray> lWords = baHead.left(baHead.indexOf("\r\n")).split(' ');
    const QString sTarget = lWords.size() > 1 ? QString::fromLatin1(lWords[1]) : QString();
    const QString sPath = sTarget.left(sTarget.indexOf('?'));
    hCounts[sPath] += 1;

    Reply reply;
    if (hReplies.contains(sPath)) {
        reply = hReplies.value(sPath);
    } else {
        reply.iStatus = 404;
        reply.baReason = "Not Found";
        reply.baBody = "no such file";
    }
    if (!reply.baRaw.isEmpty()) {
        pSocket->write(reply.baRaw);
        pSocket->disconnectFromHost();
        return;
    }

    QByteArray baOut = "HTTP/1.1 " + QByteArray::number(reply.iStatus) + " " + reply.baReason +
                       "\r\nConnection: close\r\nContent-Type: application/octet-stream\r\n";
    if (reply.eFraming == Reply::Length) {
        const qint64 iLength =
            reply.iDeclaredLength >= 0 ? reply.iDeclaredLength : reply.baBody.size();
        baOut += "Content-Length: " + QByteArray::number(iLength) + "\r\n";
    } else if (reply.eFraming == Reply::Chunked) {
        baOut += "Transfer-Encoding: chunked\r\n";
    }
    for (const QByteArray &baLine : std::as_const(reply.lHeaders))
        baOut += baLine + "\r\n";
    pSocket->write(baOut + "\r\n");

    auto pTransfer = std::make_shared<Transfer>();
    pTransfer->reply = reply;
    pTransfer->baBody = reply.iCutAfter >= 0 ? reply.baBody.left(reply.iCutAfter) : reply.baBody;
    sendPieces(QPointer<QTcpSocket>(pSocket), pTransfer);
}
