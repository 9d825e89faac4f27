// NewVaultWizPass: the new-vault wizard's page for the vault's password.
#include "gui/newvaultwizpass.h"

#include "gui/updatepagecomplete.h"

NewVaultWizPass::NewVaultWizPass(QWidget *parent) : QWizardPage(parent) {
    setupUi(this);
    registerField("password", lePassword);
    checkComplete();
}

bool NewVaultWizPass::isComplete() const {
    return bComplete;
}

void NewVaultWizPass::checkComplete() {
    bool bNow = false;
    // Exact comparison: blanks and letter case are part of a password.
    if (lePassword->text().isEmpty()) {
        lStatus->setText(tr("<html><head/><body><p><span style=\" font-weight:600; "
                            "color:#990000;\">Enter a password.</span></p></body></html>"));
    } else if (lePassword->text() != leVerify->text()) {
        lStatus->setText(tr("<html><head/><body><p><span style=\" font-weight:600; "
                            "color:#990000;\">Passwords do not match.</span></p></body></html>"));
    } else {
        lStatus->setText(tr("<html><head/><body><p><span style=\" font-weight:600; "
                            "color:#009900;\">Passwords match</span></p></body></html>"));
        bNow = true;
    }
    updatePageComplete(this, bComplete, bNow);
}
