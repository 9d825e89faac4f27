// confirmVaultReplace: asks before a new vault takes the place of a file.
#include "gui/confirmvaultreplace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

bool confirmVaultReplace(QWidget *pParent, const QString &sPath) {
    const QFileInfo info(sPath);
    if (!info.exists())
        return true;
    const QString sText = QCoreApplication::translate(
                              "confirmVaultReplace",
                              "The file %1 already exists.\n\nIf the new vault takes its place, "
                              "the notes it holds will be lost. Replace it?")
                              .arg(QDir::toNativeSeparators(info.absoluteFilePath()));
    return QMessageBox::warning(
               pParent, QCoreApplication::translate("confirmVaultReplace", "Pelimund"), sText,
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}
