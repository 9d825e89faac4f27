// HttpServer: a small HTTP/1.1 server on the loopback address that answers
// each path the way a test asks: well, slowly, cut short, or not at all.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <memory>

class QTcpServer;
class QTcpSocket;

// Listens on 127.0.0.1 at a free port from construction; every connection
// carries one request (the answer says "Connection: close"). A path without
// an answer gets 404. Runs in the event loop of the thread that made it;
// destroying the server drops every connection, stalled ones included.
class HttpServer {
public:
    // How one path is answered.
    struct Reply {
        enum Framing {
            Length,  // Content-Length, then the body
            Close,   // no length: the body ends when the connection closes
            Chunked, // chunked transfer coding, one chunk per piece
        };
        enum Cut {
            Drop,  // after the cut the connection closes
            Stall, // after the cut nothing more is sent, and it stays open
        };

        int iStatus = 200;
        QByteArray baReason = "OK";
        QByteArray baBody;
        Framing eFraming = Length;
        // The Content-Length announced (Length framing); -1: the body's size.
        qint64 iDeclaredLength = -1;
        // Only this many body bytes are sent, then eCut; -1: all of them.
        qint64 iCutAfter = -1;
        Cut eCut = Drop;
        // The body goes in pieces of this many bytes (0: one piece), with
        // this many milliseconds between them.
        int iPieceBytes = 0;
        int iPieceDelayMs = 0;
        // More header lines, as "Name: value".
        QList<QByteArray> lHeaders;
        // When not empty, these bytes are the whole answer as they stand
        // (malformed answers), and then the connection closes.
        QByteArray baRaw;
    };

    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // http://127.0.0.1:port, and that with a path (and query) added.
    QUrl baseUrl() const;
    QUrl url(const QString &sPathAndQuery) const;

    // Answers sPath (the path without the query) with rReply from now on.
    void setReply(const QString &sPath, const Reply &rReply);
    // Requests for sPath so far (their request lines read whole).
    int requestCount(const QString &sPath) const;
    // The head (request line and headers) of the last request.
    QByteArray lastRequest() const;

private:
    void accept();
    void answer(QTcpSocket *pSocket, const QByteArray &baHead);

    std::unique_ptr<QTcpServer> pServer;
    QHash<QString, Reply> hReplies;
    QHash<QString, int> hCounts;
    QByteArray baLastRequest;
};
