// ReplyWatch: a byte limit and a time-out for one network reply.
#include "gui/replywatch.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

void ReplyWatch::watch(QNetworkReply *pReply, qint64 iMaxBytes, int iTimeoutMs, Clock eClock) {
    new ReplyWatch(pReply, iMaxBytes, iTimeoutMs, eClock);
}

QString ReplyWatch::failureOf(const QNetworkReply *pReply) {
    const auto *pWatch = pReply->findChild<ReplyWatch *>(QString(), Qt::FindDirectChildrenOnly);
    if (pWatch && !pWatch->sFailure.isEmpty())
        return pWatch->sFailure;
    // The server's own status says more than the error Qt made of it.
    const QVariant vStatus = pReply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (vStatus.isValid() && vStatus.toInt() != 200) {
        const QString sReason = QString::fromLatin1(
            pReply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toByteArray().left(80));
        return tr("the server answered %1 %2").arg(vStatus.toInt()).arg(sReason).trimmed();
    }
    if (pReply->error() != QNetworkReply::NoError)
        return pReply->errorString();
    if (!vStatus.isValid())
        return tr("the server gave no HTTP answer");
    return QString();
}

ReplyWatch::ReplyWatch(QNetworkReply *pReply, qint64 iMaxBytes, int iTimeoutMs, Clock eClock)
    : QObject(pReply), pReply(pReply), iMaxBytes(iMaxBytes), eClock(eClock),
      pTimer(new QTimer(this)) {
    pTimer->setSingleShot(true);
    pTimer->start(iTimeoutMs);
    connect(pTimer, &QTimer::timeout, this, &ReplyWatch::timedOut);
    connect(pReply, &QNetworkReply::metaDataChanged, this, &ReplyWatch::checkLength);
    connect(pReply, &QNetworkReply::downloadProgress, this, &ReplyWatch::progress);
    connect(pReply, &QNetworkReply::finished, this, &ReplyWatch::stop);
}

void ReplyWatch::checkLength() {
    // A server that announces too much is refused before its body comes.
    const QVariant vLength = pReply->header(QNetworkRequest::ContentLengthHeader);
    if (iMaxBytes >= 0 && vLength.isValid() && vLength.toLongLong() > iMaxBytes)
        fail(tr("the answer is too large"));
}

void ReplyWatch::progress(qint64 iReceived, qint64 iTotal) {
    if (iMaxBytes >= 0 && (iReceived > iMaxBytes || iTotal > iMaxBytes)) {
        fail(tr("the answer is too large"));
        return;
    }
    if (eClock == SinceData && iReceived > 0 && pTimer->isActive())
        pTimer->start();
}

void ReplyWatch::timedOut() {
    fail(eClock == Total ? tr("the server did not answer in time")
                         : tr("the server stopped sending"));
}

void ReplyWatch::stop() {
    pTimer->stop();
}

void ReplyWatch::fail(const QString &sWhy) {
    if (!sFailure.isEmpty() || pReply->isFinished())
        return;
    sFailure = sWhy;
    pTimer->stop();
    // Not from inside the reply's own signals, which it does not expect;
    // should the reply finish first, the failure stands all the same.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!pReply->isFinished())
                pReply->abort();
        },
        Qt::QueuedConnection);
}
