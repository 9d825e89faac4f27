// ImportDlg: lets the user pick one of the remote vaults to download, and
// asks for the password of the local vault it becomes.
#pragma once

#include "sync/vaultinfo.h"
#include "ui_importdlg.h"

#include <QByteArray>
#include <QDialog>
#include <QString>

// Modal; built on the caller's stack. One row per remote vault, in list
// order: its name (the id under Qt::UserRole) and its size. OK is enabled
// exactly when a row is selected and the password is not empty. GUI thread
// only.
class ImportDlg : public QDialog, public Ui::ImportDlg {
    Q_OBJECT

public:
    explicit ImportDlg(const VaultInfoList &lInfo, QWidget *pParent = nullptr);

    // The selected vault's id and name and the password typed; without a
    // selection the arguments stay as they are.
    void getSelection(QByteArray &rId, QString &rName, QString &rPass) const;

public slots:
    virtual void selectionChanged();
};
