// NewVaultWizSync: the new-vault wizard's last page, an optional cloud login.
#include "gui/newvaultwizsync.h"

#include "gui/updatepagecomplete.h"

NewVaultWizSync::NewVaultWizSync(QWidget *parent) : QWizardPage(parent) {
    setupUi(this);
    registerField("enableSync", cbSync);
    registerField("syncUser", leUsername);
    registerField("syncPass", lePassword);
    registerField("syncRemember", cbRemember);
}

void NewVaultWizSync::initializePage() {
    checkComplete();
}

bool NewVaultWizSync::isComplete() const {
    return bComplete;
}

void NewVaultWizSync::checkComplete() {
    updatePageComplete(this, bComplete,
                       !cbSync->isChecked() ||
                           (!leUsername->text().isEmpty() && !lePassword->text().isEmpty()));
}
