// NewVaultDlg: asks for the password and the file of a new vault.
#include "gui/newvaultdlg.h"

#include "gui/confirmvaultreplace.h"
#include "gui/documentslocation.h"

#include <QFileDialog>
#include <QMessageBox>

NewVaultDlg::NewVaultDlg(QWidget *parent) : QDialog(parent) {
    setupUi(this);
}

QString NewVaultDlg::getPassword() const {
    return lePassword1->text();
}

QString NewVaultDlg::getFilename() const {
    return sPath;
}

void NewVaultDlg::accept() {
    // Exact comparison: blanks and letter case are part of a password.
    if (lePassword1->text() != lePassword2->text()) {
        QMessageBox::critical(this, tr("Pelimund - Password Mismatch"),
                              tr("The two passwords you entered don't match, please try again."),
                              QMessageBox::Ok);
        return;
    }
    sPath = askPath(this, tr("Pelimund - Open"), documentsLocation(), sOpenVault);
    if (!sPath.isEmpty())
        QDialog::accept();
}

QString NewVaultDlg::askPath(QWidget *pParent, const QString &sCaption, const QString &sStart,
                             const QString &sOpenVault) {
    // "(*)" rather than "(*.*)": on this platform the latter hides files
    // without a dot in their name. The file dialog asks nothing of its own:
    // the one question, or the one refusal, comes below for every path.
    QString sPath = QFileDialog::getSaveFileName(pParent, sCaption, sStart,
                                                 tr("Pelimunds (*.vault);;All Files (*)"), nullptr,
                                                 QFileDialog::DontConfirmOverwrite);
    if (sPath.isEmpty())
        return QString();
    // Case-sensitive on purpose: the program looks for vaults by this exact
    // ending, so "x.VAULT" becomes "x.VAULT.vault".
    if (!sPath.endsWith(QLatin1String(".vault")))
        sPath += QLatin1String(".vault");
    return confirmVaultReplace(pParent, sPath, sOpenVault) ? sPath : QString();
}
