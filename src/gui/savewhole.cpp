// saveWhole: a file's new bytes in one piece, or none of them.
#include "gui/savewhole.h"

#include <QSaveFile>

bool saveWhole(const QString &sPath, const QByteArray &baData, QString *pError) {
    // Unbuffered and written to the end piece by piece: a short write is
    // tried again for the rest, whose failure carries the system's reason
    // (Qt records none for a short write), and no bytes wait for commit(),
    // which does not fail when the flush it makes does (the file would be
    // left empty, reported as saved).
    QSaveFile file(sPath);
    bool bWritten = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qint64 iDone = 0; bWritten && iDone < baData.size();) {
        const qint64 iWrote = file.write(baData.constData() + iDone, baData.size() - iDone);
        bWritten = iWrote > 0;
        iDone += iWrote;
    }
    if (bWritten && file.commit())
        return true;
    if (pError)
        *pError = file.errorString();
    return false;
}
