// OpenVaultDlg: asks for the password of a vault about to be opened.
#include "gui/openvaultdlg.h"

OpenVaultDlg::OpenVaultDlg(QWidget *parent) : QDialog(parent) {
    setupUi(this);
}

QString OpenVaultDlg::getPassword() const {
    return lePassword->text();
}
