// readRegularFile: a local file's bytes, read only from a regular file.
#include "gui/readregularfile.h"

#include "ka/exception.h"
#include "ka/file.h"
#include "store/stringconv.h"

#include <QFile>

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
