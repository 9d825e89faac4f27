// LoginDlg: asks for the cloud user name and password.
#pragma once

#include "ui_logindlg.h"

#include <QDialog>
#include <QString>

// Modal; built on the caller's stack, usually through getLogin(). OK is
// enabled exactly when both fields are filled in. GUI thread only.
class LoginDlg : public QDialog, public Ui::LoginDlg {
    Q_OBJECT

public:
    // With sUser not empty the name stands filled in and the password
    // field has the focus.
    explicit LoginDlg(const QString &sUser, QWidget *pParent = nullptr);

    // The login to use: with a password held already, true at once and no
    // dialog; otherwise the dialog, with rUser filled in. Accepted: rUser
    // and rPass take the fields, and *pRemember (when given) the "Remember
    // Login" box, which starts as *pRemember; rejected: false, nothing
    // changes.
    static bool getLogin(QString &rUser, QString &rPass, QWidget *pParent = nullptr,
                         bool *pRemember = nullptr);

public slots:
    virtual void infoChanged();
};
