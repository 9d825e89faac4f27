// NewVaultWizIntro: first page of the new-vault wizard: the choice of
// creating, opening or importing a vault, and a new vault's name and folder.
#pragma once

#include "ui_newvaultwizintro.h"

#include <QHash>
#include <QString>
#include <QWizardPage>

// Declares the wizard fields "mode" (int: 0 create, 1 open, 2 import),
// "vaultName" and "vaultLocation". Complete exactly while the vault name is
// not empty, whatever the mode. In modes 1 and 2 the wizard finishes here.
// Built without parent and adopted by the wizard. GUI thread only.
class NewVaultWizIntro : public QWizardPage, public Ui::NewVaultWizIntro {
    Q_OBJECT
    // Writing through the property stores the folder and emits nothing.
    Q_PROPERTY(QString vaultLocation READ getVaultLocation WRITE setVaultLocation NOTIFY locChanged)
    Q_PROPERTY(int mode READ getMode NOTIFY modeChanged)

public:
    explicit NewVaultWizIntro(QWidget *parent = nullptr);

    QString getVaultLocation() const;
    void setVaultLocation(const QString &sLocation);
    int getMode() const;

    void initializePage() override;
    bool isComplete() const override;
    int nextId() const override;

    // Shows the folder in leLocation: by its known-folder name when it is
    // one of the desktop's standard folders, else as a native path.
    void updateLocation();

signals:
    void locChanged();
    void modeChanged();

public slots:
    virtual void checkComplete();
    virtual void pickLocation();
    virtual void modePicked(int iMode);

private:
    bool bComplete = true;
    QString vaultLocation;
    // Native path (cleaned) -> display name.
    QHash<QString, QString> hLocations;
    int mode = 0;
};
