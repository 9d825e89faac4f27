// NoteDocument: a note's text document that reads only regular files of sane
// size for the resources its HTML names.
#include "gui/notedocument.h"

#include "gui/readregularfile.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QUrl>

#include <optional>

namespace {

// The local path a resource name stands for; nothing when QTextDocument
// should load it as before: another scheme (data:, qrc:, http:) or a Qt
// resource path, which no note can turn into a device.
std::optional<QString> localPathOf(const QUrl &url) {
    QString sPath;
    if (url.isRelative()) {
        QUrl file(url);
        file.setScheme("file");
        sPath = file.toLocalFile();
    } else if (url.isLocalFile()) {
        sPath = url.toLocalFile();
    } else {
        return std::nullopt;
    }
    if (sPath.startsWith(':'))
        return std::nullopt;
    return sPath;
}

// The picture Qt shows for an image it cannot load, so that a refused file
// looks like any missing image; a blank square should Qt lack it. Never
// null: for a null image Qt's image handler would read the path itself.
QImage missingImage() {
    static const QImage image = [] {
        QImage missing(":/qt-project.org/styles/commonstyle/images/file-16.png");
        if (missing.isNull()) {
            missing = QImage(16, 16, QImage::Format_ARGB32);
            missing.fill(Qt::transparent);
        }
        return missing;
    }();
    return image;
}

// The name as a page wrote it, for a name without a scheme that Qt read as
// a URL: hand-written pages and many tools name "Screenshot #1.png" or
// "what?.png" as they are, where a URL takes "#" for a fragment and "?" for
// a query. Empty when it is no other name than the URL's path. (A name that
// holds a valid escape such as "%20" cannot be told from its decoded form.)
QString nameAsWritten(const QUrl &url) {
    if (!url.scheme().isEmpty() || (!url.hasQuery() && !url.hasFragment()))
        return {};
    QString sName = url.path(QUrl::FullyDecoded);
    if (url.hasQuery())
        sName += '?' + url.query(QUrl::FullyDecoded);
    if (url.hasFragment())
        sName += '#' + url.fragment(QUrl::FullyDecoded);
    return sName;
}

// An image from its file's bytes; where the bytes alone do not tell the
// format (an SVG file that starts with blank lines, say), the name's suffix
// does, as it does when Qt loads an image from a file itself.
QImage imageOf(const QByteArray &baData, const QString &sPath) {
    QImage image = QImage::fromData(baData);
    if (image.isNull())
        image = QImage::fromData(baData, QFileInfo(sPath).suffix().toLatin1().constData());
    return image;
}

} // namespace

NoteDocument::NoteDocument(QObject *pParent) : QTextDocument(pParent) {}

QVariant NoteDocument::loadResource(int iType, const QUrl &url) {
    std::optional<QString> sPath = localPathOf(url);
    if (!sPath)
        return QTextDocument::loadResource(iType, url);
    std::optional<QByteArray> baData = readRegularFile(*sPath, kMaxResourceBytes);
    if (!baData) {
        if (const QString sWritten = nameAsWritten(url); !sWritten.isEmpty()) {
            sPath = sWritten;
            baData = readRegularFile(*sPath, kMaxResourceBytes);
        }
    }
    QVariant result;
    if (iType == ImageResource) {
        const QImage image = baData ? imageOf(*baData, *sPath) : QImage();
        result = image.isNull() ? missingImage() : image;
    } else {
        result = baData.value_or(QByteArray());
    }
    // Qt keeps what it loads itself in the same way; without it every
    // repaint of an image would read and decode its file again.
    addResource(iType, url, result);
    return result;
}

QByteArray noteHtml(const QTextDocument &document) {
    return document.toHtml()
        .replace(QChar(QChar::Null), QChar(QChar::ReplacementCharacter))
        .toUtf8();
}
