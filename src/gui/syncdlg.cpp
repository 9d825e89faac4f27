// SyncDlg: the progress of a sync client.
#include "gui/syncdlg.h"

#include "gui/settingskeys.h"
#include "sync/client.h"

#include <QCloseEvent>
#include <QSettings>

SyncDlg::SyncDlg(Client *pClient, bool bAutoDone, QWidget *pParent)
    : QDialog(pParent), pClient(pClient), bAutoDone(bAutoDone) {
    setupUi(this);
    setModal(true);
    connect(pClient, SIGNAL(operationText(QString)), lStatus, SLOT(setText(QString)));
    connect(pClient, SIGNAL(operationCount(int)), pbSync, SLOT(setMaximum(int)));
    connect(pClient, SIGNAL(operationStep(int)), pbSync, SLOT(setValue(int)));
    connect(pClient, SIGNAL(done()), this, SLOT(done()));
    cbAutoClose->setChecked(QSettings().value(SettingsKey::kSyncAutoClose, false).toBool());
}

void SyncDlg::done() {
    buttonBox->setEnabled(true);
    pbSync->setRange(0, 1);
    pbSync->setValue(1);
    pClient = nullptr;
    if (bAutoDone || cbAutoClose->isChecked())
        close();
}

void SyncDlg::accept() {
    close();
}

void SyncDlg::reject() {
    if (pClient)
        return;
    if (bClosing)
        QDialog::reject();
    else
        close();
}

void SyncDlg::closeEvent(QCloseEvent *pEvent) {
    if (pClient) {
        pEvent->ignore();
        return;
    }
    QSettings().setValue(SettingsKey::kSyncAutoClose, cbAutoClose->isChecked());
    deleteLater();
    bClosing = true;
    QDialog::closeEvent(pEvent);
    bClosing = false;
}
