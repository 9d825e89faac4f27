// OpenVaultDlg: asks for the password of a vault about to be opened.
#pragma once

#include "ui_openvaultdlg.h"

#include <QDialog>
#include <QString>

// Modal; built on the caller's stack. getPassword() is meaningful after
// Accepted and may be empty: the vault itself decides whether it fits.
// GUI thread only.
class OpenVaultDlg : public QDialog, public Ui::OpenVaultDlg {
    Q_OBJECT

public:
    explicit OpenVaultDlg(QWidget *parent = nullptr);

    QString getPassword() const;
};
