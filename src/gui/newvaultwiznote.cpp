// NewVaultWizNote: the new-vault wizard's page for the first note's name.
#include "gui/newvaultwiznote.h"

#include "gui/updatepagecomplete.h"

NewVaultWizNote::NewVaultWizNote(QWidget *parent) : QWizardPage(parent) {
    setupUi(this);
    registerField("noteName", leNoteName);
}

bool NewVaultWizNote::isComplete() const {
    return bComplete;
}

void NewVaultWizNote::checkComplete() {
    updatePageComplete(this, bComplete, !leNoteName->text().isEmpty());
}
