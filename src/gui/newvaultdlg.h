// NewVaultDlg: asks for the password and the file of a new vault.
#pragma once

#include "ui_newvaultdlg.h"

#include <QDialog>
#include <QString>

// Modal; the caller builds it on the stack, runs exec() and, after Accepted,
// takes the vault's path from getFilename() and its password from
// getPassword(). Ok asks for the file only when both passwords are equal;
// an Accepted dialog always holds a non-empty path ending in ".vault", and a
// file there is one the user agreed to replace in a question of its own
// (the file dialog asks none). A folder there, a file that cannot be read,
// or a vault that another window or program holds, is refused in a box and
// the dialog stays open. GUI thread only.
class NewVaultDlg : public QDialog, public Ui::NewVaultDlg {
    Q_OBJECT

public:
    explicit NewVaultDlg(QWidget *parent = nullptr);

    QString getPassword() const;
    // The path chosen in the last file dialog (empty before, and after a
    // cancelled one or a declined replace).
    QString getFilename() const;
    // The vault open in the calling window (empty: none), which a new vault
    // may replace although its window holds it.
    void setOpenVault(const QString &sPath) { sOpenVault = sPath; }

    // The file of a new vault, asked for in a save-file dialog titled
    // sCaption that starts at sStart, as Ok asks for it: ".vault" added when
    // missing, and a file there replaced only after the question and the
    // refusals of confirmVaultReplace (sOpenVault as for setOpenVault).
    // Empty when the user cancelled or declined.
    static QString askPath(QWidget *pParent, const QString &sCaption, const QString &sStart,
                           const QString &sOpenVault);

public slots:
    // Refuses a password mismatch with a message box, and a cancelled file
    // dialog or a file not to be replaced silently; the dialog stays open in
    // each case.
    void accept() override;

private:
    QString sPath;
    QString sOpenVault;
};
