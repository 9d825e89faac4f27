// WelcomeDlg: the start-up choice between a recently used vault, another
// vault file and a new vault, with the password of the one to open.
#pragma once

#include "ui_welcomedlg.h"

#include <QDialog>
#include <QString>

// Modal; the caller builds it on the stack, runs exec() and then reads
// getResult(), getVaultFile() and getPassword(). The dialog opens nothing
// and checks nothing: the path may name no file, or be empty, and the
// password may be wrong; the caller finds out and may show a new dialog.
// The recent entries come from "recentVaults/list" with the icon named
// "vault" from IconCache. GUI thread only.
class WelcomeDlg : public QDialog, public Ui::WelcomeDlg {
    Q_OBJECT

public:
    // What getResult() returns.
    enum Result {
        ResultNone = 0,   // closed any other way (rejected)
        ResultCreate = 1, // "Create New Vault": the fields mean nothing
        ResultOpen = 2,   // "Open Selected Vault": open getVaultFile()
    };

    explicit WelcomeDlg(QWidget *parent = nullptr);

    int getResult() const;
    // The path in "Opening Vault:": a recent entry's full path as stored,
    // or the picked file.
    QString getVaultFile() const;
    QString getPassword() const;

public slots:
    // Puts the current entry's full path into the vault field.
    virtual void recentSelected();
    // Lets the user pick another vault file; cancelling changes nothing.
    virtual void pickFile();
    virtual void openVault();
    virtual void createVault();
    // "Open Selected Vault" is offered only while a password is typed.
    virtual void passwordChanged(const QString &sPass);

private:
    int iResult = ResultNone;
};
