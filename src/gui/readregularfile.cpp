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
        // Room for what the file reports and a byte more, so that its end
        // is seen without growing the buffer when the report is true.
        QByteArray baData(qsizetype(iReported) + 1, Qt::Uninitialized);
        qsizetype iDone = 0;
        for (;;) {
            if (iDone == baData.size()) {
                // Full past the limit: the file holds more than may be read.
                if (iDone > iLimit)
                    return std::nullopt;
                baData.resize(std::min<qint64>(std::max<qint64>(2 * iDone, 65536), iLimit + 1));
            }
            // A read's count is a 32-bit one.
            const qsizetype iRoom =
                std::min<qsizetype>(baData.size() - iDone, std::numeric_limits<int>::max());
            const int iRead = file.read(baData.data() + iDone, int(iRoom));
            if (iRead == 0)
                break;
            iDone += iRead;
        }
        baData.truncate(iDone);
        return baData;
    } catch (const Ka::ExceptionBase &) {
        return std::nullopt;
    }
}
