// WelcomeDlg: the start-up choice of a vault to open or create.
#include "gui/welcomedlg.h"

#include "gui/documentslocation.h"
#include "gui/iconcache.h"
#include "gui/settingskeys.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>

namespace {

// The name a recent entry shows: the file name up to its first point. A
// file name that starts with a point (".vault") would show blank, so it
// shows whole; a path without a file name shows as it is.
QString entryName(const QString &sPath) {
    const QFileInfo info(sPath);
    if (!info.baseName().isEmpty())
        return info.baseName();
    if (!info.fileName().isEmpty())
        return info.fileName();
    return sPath;
}

} // namespace

WelcomeDlg::WelcomeDlg(QWidget *parent) : QDialog(parent) {
    setupUi(this);

    const QStringList lPaths = QSettings().value(SettingsKey::kRecentList).toStringList();
    const QIcon icon = IconCache::getInstance().getIcon("vault");
    for (const QString &sPath : lPaths) {
        // A blank line of a hand-edited list names no vault.
        if (sPath.isEmpty())
            continue;
        auto *pItem = new QListWidgetItem(icon, entryName(sPath), lwVaults);
        pItem->setData(Qt::UserRole, sPath);
    }
    // Selecting the newest entry fills the vault field through
    // recentSelected(); an empty list leaves the field empty.
    lwVaults->setCurrentRow(0);
    lePassword->setFocus();
}

int WelcomeDlg::getResult() const {
    return iResult;
}

QString WelcomeDlg::getVaultFile() const {
    return leVault->text();
}

QString WelcomeDlg::getPassword() const {
    return lePassword->text();
}

void WelcomeDlg::recentSelected() {
    if (const QListWidgetItem *pItem = lwVaults->currentItem())
        leVault->setText(pItem->data(Qt::UserRole).toString());
}

void WelcomeDlg::pickFile() {
    // "(*)" rather than "(*.*)": on this platform the latter hides files
    // without a dot in their name.
    const QString sPath = QFileDialog::getOpenFileName(
        this, tr("Pelimund - Open"), documentsLocation(), tr("Pelimunds (*.vault);;All Files (*)"));
    if (sPath.isEmpty())
        return;
    // Clearing the selection runs recentSelected(), which writes the current
    // entry's path; the picked path must come after it.
    lwVaults->clearSelection();
    leVault->setText(sPath);
}

void WelcomeDlg::openVault() {
    iResult = ResultOpen;
    accept();
}

void WelcomeDlg::createVault() {
    iResult = ResultCreate;
    accept();
}

void WelcomeDlg::passwordChanged(const QString &sPass) {
    pbOpen->setEnabled(!sPass.isEmpty());
}
