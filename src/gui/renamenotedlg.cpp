// RenameNoteDlg: asks for a note's new name.
#include "gui/renamenotedlg.h"

RenameNoteDlg::RenameNoteDlg(QString sName, QWidget *parent) : QDialog(parent) {
    setupUi(this);
    leName->setText(sName);
}

QString RenameNoteDlg::getName(QString sName, QWidget *parent) {
    RenameNoteDlg dlg(sName, parent);
    if (!dlg.exec())
        return QString();
    const QString sText = dlg.leName->text();
    // A line edit may hand back a null string when it is empty; null is
    // reserved for "cancelled".
    return sText.isNull() ? QString(QLatin1String("")) : sText;
}
