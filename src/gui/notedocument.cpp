// NoteDocument: a note's text document that reads only regular files of sane
// size for the resources its HTML names.
#include "gui/notedocument.h"

#include "ka/exception.h"
#include "ka/file.h"
#include "store/stringconv.h"

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

// The bytes of the regular file at sPath when it holds at most iMaxBytes;
// nothing for any other kind of file, which is never read (opening a device
// may have effects of its own, opening a named pipe waits for a writer).
std::optional<QByteArray> readRegularFile(const QString &sPath, qint64 iMaxBytes) {
    try {
        Ka::File file(toKaString(QFile::encodeName(sPath)), Ka::File::Read | Ka::File::RegularOnly);
        const int iSize = file.getSize();
        if (iSize > iMaxBytes)
            return std::nullopt;
        // No more than the size seen, even when the file grows meanwhile.
        QByteArray baData(iSize, Qt::Uninitialized);
        int iDone = 0;
        while (iDone < iSize) {
            const int iRead = file.read(baData.data() + iDone, iSize - iDone);
            if (iRead < 1)
                break;
            iDone += iRead;
        }
        baData.truncate(iDone);
        return baData;
    } catch (const Ka::ExceptionBase &) {
        return std::nullopt;
    }
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
