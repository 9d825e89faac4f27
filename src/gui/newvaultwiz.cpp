// NewVaultWiz: the guided start: create, open or import a vault.
#include "gui/newvaultwiz.h"

#include "gui/confirmvaultreplace.h"
#include "gui/help.h"
#include "gui/newvaultwizintro.h"
#include "gui/newvaultwiznote.h"
#include "gui/newvaultwizpass.h"
#include "gui/newvaultwizsync.h"

#include <QDir>
#include <QFileInfo>
#include <QPixmap>

NewVaultWiz::NewVaultWiz(QWidget *parent) : QWizard(parent) {
    setPixmap(QWizard::WatermarkPixmap, QPixmap(":/newvaultwiz/watermark.png"));
    setOption(QWizard::HaveHelpButton);
    connect(this, SIGNAL(helpRequested()), this, SLOT(showHelp()));

    // The wizard adopts the pages.
    setPage(IntroPage, new NewVaultWizIntro);
    setPage(PassPage, new NewVaultWizPass);
    setPage(NotePage, new NewVaultWizNote);
    setPage(SyncPage, new NewVaultWizSync);

    setWindowTitle(tr("Pelimund - New Vault Wizard"));
}

QString NewVaultWiz::vaultPath() const {
    return field("vaultLocation").toString() + QDir::separator() + field("vaultName").toString() +
           ".vault";
}

bool NewVaultWiz::isReplaceConfirmed() const {
    return !sReplaceConfirmed.isEmpty() && sReplaceConfirmed == vaultPath();
}

bool NewVaultWiz::validateCurrentPage() {
    // Asked on the page where the name can still be changed.
    if (currentId() == IntroPage && field("mode").toInt() == 0) {
        const QString sPath = vaultPath();
        sReplaceConfirmed.clear();
        if (QFileInfo::exists(sPath)) {
            if (!confirmVaultReplace(this, sPath, sOpenVault))
                return false;
            sReplaceConfirmed = sPath;
        }
    }
    return QWizard::validateCurrentPage();
}

void NewVaultWiz::showHelp() {
    Help::getInstance().showPage("quickstart.html");
}
