// NewNoteDlg: asks for the name of a note about to be created.
#include "gui/newnotedlg.h"

NewNoteDlg::NewNoteDlg(QWidget *parent) : QDialog(parent) {
    setupUi(this);
    // Only one kind of note exists, so the name is what the user came for.
    leName->setFocus();
}

QString NewNoteDlg::getName() const {
    return leName->text();
}

void NewNoteDlg::accept() {
    QDialog::accept();
}
