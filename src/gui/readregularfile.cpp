// readRegularFile: a local file's bytes, read only from a regular file.
#include "gui/readregularfile.h"

#include "ka/exception.h"
#include "ka/file.h"
#include "store/stringconv.h"

#include <QFile>

#include <algorithm>
#include <limits>

std::optional<QByteArray> readRegularFile(const QString &sPath, qint64 iMaxBytes) {
    const qint64 iLimit = std::min<qint64>(iMaxBytes, std::numeric_limits<int>::max());
    try {
        Ka::File file(toKaString(QFile::encodeName(sPath)), Ka::File::Read | Ka::File::RegularOnly);
        // The size the file system reports is only a first guess: /proc
        // files, and files on some network and FUSE file systems, report 0
        // or less than they hold, so the file is read to its end.
        const int iReported = file.getSize();
        if (iReported > iLimit)
            return std::nullopt;
        QByteArray baData;
        baData.reserve(iReported);
        char aChunk[16384];
        while (const int iRead = file.read(aChunk, sizeof aChunk)) {
            if (baData.size() + iRead > iLimit)
                return std::nullopt;
            baData.append(aChunk, iRead);
        }
        return baData;
    } catch (const Ka::ExceptionBase &) {
        return std::nullopt;
    }
}
