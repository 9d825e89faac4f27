// NewVaultWizPass: the new-vault wizard's page for the vault's password.
#pragma once

#include "ui_newvaultwizpass.h"

#include <QWizardPage>

// Declares the field "password". Complete exactly when both entries are
// equal and not empty (compared as typed); the status line says why not.
// Built without parent and adopted by the wizard. GUI thread only.
class NewVaultWizPass : public QWizardPage, public Ui::NewVaultWizPass {
    Q_OBJECT

public:
    explicit NewVaultWizPass(QWidget *parent = nullptr);

    bool isComplete() const override;

public slots:
    virtual void checkComplete();

private:
    bool bComplete = false;
};
