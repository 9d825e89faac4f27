// RenameNoteDlg: asks for a note's new name.
#pragma once

#include "ui_renamenotedlg.h"

#include <QDialog>
#include <QString>

// Used through getName(). Names are cut at 80 characters. GUI thread only.
class RenameNoteDlg : public QDialog, public Ui::RenameNoteDlg {
    Q_OBJECT

public:
    // Builds the dialog with sName filled in (cut at 80 characters).
    explicit RenameNoteDlg(QString sName, QWidget *parent = nullptr);

    // Runs the dialog modally on sName. Accepted: the text as it then
    // stands, never null (an emptied field gives an empty string).
    // Cancelled: a null string, so callers can tell the two apart.
    static QString getName(QString sName, QWidget *parent = nullptr);
};
