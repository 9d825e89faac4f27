// ReplyWatch: ends a network reply that grows too large or takes too long.
#pragma once

#include <QObject>
#include <QString>

class QNetworkReply;
class QTimer;

// Watches one reply from the moment the request is sent. It aborts the reply
// (which then finishes with OperationCanceledError) when the server announces
// or delivers more than the byte limit, or when the time-out passes: counted
// from the start, or, for a download, from the last byte received. Why it
// aborted is kept for the reply's finished() handler: failureOf().
//
// The watch is a child of the reply and goes with it. GUI thread only.
class ReplyWatch : public QObject {
    Q_OBJECT
public:
    enum Clock {
        Total,     // the whole reply must arrive within the time-out
        SinceData, // the time-out restarts with every byte received
    };

    // Starts watching pReply; iMaxBytes < 0 means no limit.
    static void watch(QNetworkReply *pReply, qint64 iMaxBytes, int iTimeoutMs, Clock eClock);
    // Why the finished pReply failed, first found first: the watch aborted
    // it, the server answered with an HTTP status other than 200, a network
    // error, or no HTTP answer at all. Empty when it succeeded.
    static QString failureOf(const QNetworkReply *pReply);

private slots:
    void checkLength();
    void progress(qint64 iReceived, qint64 iTotal);
    void timedOut();
    void stop();

private:
    ReplyWatch(QNetworkReply *pReply, qint64 iMaxBytes, int iTimeoutMs, Clock eClock);
    void fail(const QString &sWhy);

    QNetworkReply *pReply;
    qint64 iMaxBytes;
    Clock eClock;
    QTimer *pTimer;
    QString sFailure;
};
