// NewVaultWizNote: the new-vault wizard's page for the first note's name.
#pragma once

#include "ui_newvaultwiznote.h"

#include <QWizardPage>

// Declares the field "noteName"; complete exactly while the name is not
// empty. Built without parent and adopted by the wizard. GUI thread only.
class NewVaultWizNote : public QWizardPage, public Ui::NewVaultWizNote {
    Q_OBJECT

public:
    explicit NewVaultWizNote(QWidget *parent = nullptr);

    bool isComplete() const override;

public slots:
    virtual void checkComplete();

private:
    bool bComplete = true;
};
