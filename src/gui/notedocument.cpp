// NoteDocument: a note's text document that reads only regular files of sane
// size for the resources its HTML names.
#include "gui/notedocument.h"

#include "gui/readregularfile.h"

#include <QFile>
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

} // namespace

NoteDocument::NoteDocument(QObject *pParent) : QTextDocument(pParent) {}

QVariant NoteDocument::loadResource(int iType, const QUrl &url) {
    const std::optional<QString> sPath = localPathOf(url);
    if (!sPath)
        return QTextDocument::loadResource(iType, url);
    const std::optional<QByteArray> baData = readRegularFile(*sPath, kMaxResourceBytes);
    QVariant result;
    if (iType == ImageResource) {
        const QImage image = baData ? QImage::fromData(*baData) : QImage();
        result = image.isNull() ? missingImage() : image;
    } else {
        result = baData.value_or(QByteArray());
    }
    // Qt keeps what it loads itself in the same way; without it every
    // repaint of an image would read and decode its file again.
    addResource(iType, url, result);
    return result;
}
