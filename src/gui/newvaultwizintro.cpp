// NewVaultWizIntro: first page of the new-vault wizard.
#include "gui/newvaultwizintro.h"

#include "gui/documentslocation.h"
#include "gui/newvaultwiz.h"
#include "gui/updatepagecomplete.h"

#include <QButtonGroup>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// A folder as the known-folder table keys it: cleaned, native separators.
QString locationKey(const QString &sPath) {
    return QDir::toNativeSeparators(QDir::cleanPath(sPath));
}

} // namespace

NewVaultWizIntro::NewVaultWizIntro(QWidget *parent) : QWizardPage(parent) {
    setupUi(this);

    registerField("vaultName", leVaultName);
    registerField("vaultLocation", this, "vaultLocation", SIGNAL(locChanged()));
    registerField("mode", this, "mode", SIGNAL(modeChanged()));

    // Proposed even before it exists: the new vault's folder is made for it.
    vaultLocation = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    emit locChanged();

    // Later entries name a folder that two locations share.
    const struct {
        QStandardPaths::StandardLocation eLocation;
        const char *sFallback;
    } aKnown[] = {
        {QStandardPaths::DocumentsLocation, QT_TR_NOOP("My Documents")},
        {QStandardPaths::DesktopLocation, QT_TR_NOOP("Desktop")},
        {QStandardPaths::FontsLocation, QT_TR_NOOP("Fonts")},
        {QStandardPaths::ApplicationsLocation, QT_TR_NOOP("Applications")},
        {QStandardPaths::MusicLocation, QT_TR_NOOP("My Music")},
        {QStandardPaths::MoviesLocation, QT_TR_NOOP("My Movies")},
        {QStandardPaths::PicturesLocation, QT_TR_NOOP("My Pictures")},
        {QStandardPaths::TempLocation, QT_TR_NOOP("Temporary Files")},
        {QStandardPaths::HomeLocation, QT_TR_NOOP("Home Folder")},
        {QStandardPaths::AppDataLocation, QT_TR_NOOP("Application Data")},
        {QStandardPaths::CacheLocation, QT_TR_NOOP("Cache Folder")},
    };
    for (const auto &known : aKnown) {
        const QString sPath = QStandardPaths::writableLocation(known.eLocation);
        // A location the platform does not have would otherwise name the
        // empty path.
        if (sPath.isEmpty())
            continue;
        QString sName = QStandardPaths::displayName(known.eLocation);
        if (sName.isEmpty())
            sName = tr(known.sFallback);
        hLocations.insert(locationKey(sPath), sName);
    }

    auto *pGroup = new QButtonGroup(this);
    pGroup->setExclusive(true);
    pGroup->addButton(rbNew, 0);
    pGroup->addButton(rbOpen, 1);
    pGroup->addButton(rbImport, 2);
    connect(pGroup, SIGNAL(idClicked(int)), this, SLOT(modePicked(int)));
}

QString NewVaultWizIntro::getVaultLocation() const {
    return vaultLocation;
}

void NewVaultWizIntro::setVaultLocation(const QString &sLocation) {
    vaultLocation = sLocation;
}

int NewVaultWizIntro::getMode() const {
    return mode;
}

void NewVaultWizIntro::initializePage() {
    updateLocation();
}

bool NewVaultWizIntro::isComplete() const {
    return bComplete;
}

int NewVaultWizIntro::nextId() const {
    return mode == 0 ? NewVaultWiz::PassPage : -1;
}

void NewVaultWizIntro::checkComplete() {
    updatePageComplete(this, bComplete, !leVaultName->text().isEmpty());
}

void NewVaultWizIntro::modePicked(int iMode) {
    mode = iMode;
    emit modeChanged();

    const bool bNew = iMode == 0;
    leVaultName->setEnabled(bNew);
    leLocation->setEnabled(bNew);
    tbPickLocation->setEnabled(bNew);
    // Opening ends the wizard here by an explicit final mark; importing by
    // having no next page. setFinalPage() also refreshes the buttons.
    setFinalPage(iMode == 1);
}

void NewVaultWizIntro::pickLocation() {
    // A proposed folder not made yet would open its parent with the
    // folder's name typed in.
    const QString sStart = QFileInfo(vaultLocation).isDir() ? vaultLocation : documentsLocation();
    const QString sPicked = QFileDialog::getExistingDirectory(
        this, tr("Pelimund - Select Location"), sStart, QFileDialog::ShowDirsOnly);
    if (sPicked.isEmpty())
        return;
    vaultLocation = sPicked;
    emit locChanged();
    updateLocation();
}

void NewVaultWizIntro::updateLocation() {
    const QString sKey = locationKey(vaultLocation);
    leLocation->setText(hLocations.value(sKey, sKey));
}
