// LoginDlg: asks for the cloud user name and password.
#include "gui/logindlg.h"

#include <QPushButton>

LoginDlg::LoginDlg(const QString &sUser, QWidget *pParent) : QDialog(pParent) {
    setupUi(this);
    if (!sUser.isEmpty()) {
        leUsername->setText(sUser);
        lePassword->setFocus();
    }
    infoChanged();
}

bool LoginDlg::getLogin(QString &rUser, QString &rPass, QWidget *pParent, bool *pRemember) {
    if (!rPass.isEmpty())
        return true;
    LoginDlg dialog(rUser, pParent);
    if (pRemember)
        dialog.cbRemember->setChecked(*pRemember);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    rUser = dialog.leUsername->text();
    rPass = dialog.lePassword->text();
    if (pRemember)
        *pRemember = dialog.cbRemember->isChecked();
    return true;
}

void LoginDlg::infoChanged() {
    buttonBox->button(QDialogButtonBox::Ok)
        ->setEnabled(!leUsername->text().isEmpty() && !lePassword->text().isEmpty());
}
