// confirmVaultReplace: asks before a new vault takes the place of a file,
// and refuses at once what no new vault may replace.
#include "gui/confirmvaultreplace.h"

#include "ka/exception.h"
#include "store/notestore.h"
#include "store/stringconv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include <cerrno>

namespace {

QString tr(const char *sText) {
    return QCoreApplication::translate("confirmVaultReplace", sText);
}

QString shownPath(const QFileInfo &info) {
    return QDir::toNativeSeparators(info.absoluteFilePath());
}

bool isHeldElsewhere(const QString &sPath, const QString &sOpenVault) {
    return !isOpenVault(sPath, sOpenVault) && NoteStore::isInUse(toLocalPath(sPath));
}

} // namespace

bool isOpenVault(const QString &sPath, const QString &sOpenVault) {
    return !sOpenVault.isEmpty() && QFileInfo(sPath) == QFileInfo(sOpenVault);
}

bool isVaultInUse(const Ka::FileException &e) {
    return e.getErrorCode() == EWOULDBLOCK && qstrcmp(e.what(), NoteStore::kVaultInUse) == 0;
}

void reportVaultInUse(QWidget *pParent) {
    QMessageBox::critical(pParent, tr("Pelimund"),
                          tr("The vault is open in another window or program."));
}

bool refuseHeldVault(QWidget *pParent, const QString &sPath, const QString &sOpenVault) {
    if (!isHeldElsewhere(sPath, sOpenVault))
        return false;
    reportVaultInUse(pParent);
    return true;
}

bool refuseVaultReplace(QWidget *pParent, const QString &sPath, const QString &sOpenVault) {
    const QFileInfo info(sPath);
    if (info.isDir()) {
        QMessageBox::critical(pParent, tr("Pelimund"),
                              tr("The folder %1 already exists.\n\nA vault cannot take the "
                                 "place of a folder: please choose another name.")
                                  .arg(shownPath(info)));
        return true;
    }
    if (isOpenVault(sPath, sOpenVault))
        return false;
    try {
        NoteStore::checkRemovable(toLocalPath(sPath));
    } catch (const Ka::FileException &e) {
        if (isVaultInUse(e)) {
            reportVaultInUse(pParent);
        } else {
            QMessageBox::critical(pParent, tr("Pelimund"),
                                  tr("The file %1 cannot be read, so whether another program "
                                     "has it open cannot be told.\n\nA vault cannot take its "
                                     "place: please choose another name.")
                                      .arg(shownPath(info)));
        }
        return true;
    }
    return false;
}

bool confirmVaultReplace(QWidget *pParent, const QString &sPath, const QString &sOpenVault) {
    if (refuseVaultReplace(pParent, sPath, sOpenVault))
        return false;
    const QFileInfo info(sPath);
    if (!info.exists())
        return true;
    const QString sText = tr("The file %1 already exists.\n\nIf the new vault takes its place, "
                             "the notes it holds will be lost. Replace it?")
                              .arg(shownPath(info));
    return QMessageBox::warning(pParent, tr("Pelimund"), sText, QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}
