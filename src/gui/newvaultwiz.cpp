// NewVaultWiz: the guided start: create, open or import a vault.
#include "gui/newvaultwiz.h"

#include "gui/help.h"
#include "gui/newvaultwizintro.h"
#include "gui/newvaultwiznote.h"
#include "gui/newvaultwizpass.h"
#include "gui/newvaultwizsync.h"

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

void NewVaultWiz::showHelp() {
    Help::getInstance().showPage("quickstart.html");
}
