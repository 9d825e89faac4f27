// NewVaultWizSync: the new-vault wizard's last page, an optional cloud login.
#pragma once

#include "ui_newvaultwizsync.h"

#include <QWizardPage>

// Declares the fields "enableSync", "syncUser", "syncPass" and
// "syncRemember". Complete when sync is off, or when it is on and both user
// name and password are filled in; turning sync off keeps what was typed.
// Built without parent and adopted by the wizard. GUI thread only.
class NewVaultWizSync : public QWizardPage, public Ui::NewVaultWizSync {
    Q_OBJECT

public:
    explicit NewVaultWizSync(QWidget *parent = nullptr);

    void initializePage() override;
    bool isComplete() const override;

public slots:
    virtual void checkComplete();

private:
    // False until the page is entered.
    bool bComplete = false;
};
