// UpdateDescription: what the update description file says about the newest
// version, read from the bytes the update host sent.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QUrl>

class QNetworkReply;

// The description is one serialised dictionary whose entry "win32" is a
// dictionary with the text entries "version" (the newest version, such as
// "1.00.04") and "url" (where its installer is). Other entries are ignored.
//
// The reply comes unauthenticated from the network, so every part is
// checked: its size, each value's kind, the version's length and the
// address, which must be an absolute http or https address. Reading never
// throws; a failure gives a short lower-case text that says what was wrong.
struct UpdateDescription {
    Q_DECLARE_TR_FUNCTIONS(UpdateDescription)

public:
    // The most bytes a description may have.
    static constexpr qint64 iMaxBytes = 1024 * 1024;
    // The longest version text taken.
    static constexpr int iMaxVersion = 64;

    // The newest version's text, as published.
    QByteArray baVersion;
    // Its installer's address.
    QUrl url;
    // Why the description could not be taken; empty when it could.
    QString sFailure;

    bool isValid() const { return sFailure.isEmpty(); }

    // The description in baBody.
    static UpdateDescription parse(const QByteArray &baBody);
    // The description in a finished reply: its watch (ReplyWatch), its
    // HTTP status (200 only) and its network error are checked first.
    static UpdateDescription fromReply(QNetworkReply *pReply);
};
