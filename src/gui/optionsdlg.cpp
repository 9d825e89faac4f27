// OptionsDlg: the program-wide settings.
#include "gui/optionsdlg.h"

#include "gui/settingskeys.h"

#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace {

// What "layout/tabPosition" holds for each entry of cbTabPos, in entry
// order. The untranslated names, so that the main window recognises the
// stored value whatever language the combo box shows.
const char *const aTabPositions[] = {"Top", "Bottom", "Left", "Right"};

// Shows a stored count in a spin box. A hand-edited value may lie outside
// the box's range, or outside int: it is clamped to the range. One that is
// no whole number at all (or absent) shows iDefault.
void showCount(QSpinBox *pBox, const QVariant &stored, int iDefault) {
    bool bOk = false;
    const qlonglong iStored = stored.toLongLong(&bOk);
    pBox->setValue(bOk ? int(std::clamp<qlonglong>(iStored, pBox->minimum(), pBox->maximum()))
                       : iDefault);
}

} // namespace

OptionsDlg::OptionsDlg(QWidget *parent) : QDialog(parent) {
    setupUi(this);

    const QSettings settings;
    cbWelcome->setChecked(settings.value(SettingsKey::kUseWelcomeDlg, true).toBool());
    cbVaultWizard->setChecked(settings.value(SettingsKey::kUseVaultWizard, true).toBool());
    // 0 means "Never"; a negative value means the same and shows so.
    showCount(sbTimeout, settings.value(SettingsKey::kForgetTimeout), 0);
    showCount(sbRecent, settings.value(SettingsKey::kRecentMax), 4);

    // Checking a button toggles it, which runs layoutChanged(); neither is
    // checked in the form, so one of the two always toggles here.
    if (settings.value(SettingsKey::kInterface).toString() == QLatin1String("tabs"))
        rbTabs->setChecked(true);
    else
        rbWindows->setChecked(true);

    cbWinMaxed->setChecked(settings.value(SettingsKey::kWinMaxed, true).toBool());
    cbCloseTabs->setChecked(settings.value(SettingsKey::kTabsClosable, true).toBool());
    cbMoveTabs->setChecked(settings.value(SettingsKey::kTabsMovable, true).toBool());

    // An unknown position shows the default, "Top", rather than no entry,
    // which would be stored as an empty text.
    const QString sPosition = settings.value(SettingsKey::kTabPosition, "Top").toString();
    const auto *pFound =
        std::find_if(std::begin(aTabPositions), std::end(aTabPositions),
                     [&sPosition](const char *sName) { return sPosition == QLatin1String(sName); });
    cbTabPos->setCurrentIndex(
        pFound == std::end(aTabPositions) ? 0 : int(pFound - std::begin(aTabPositions)));
}

void OptionsDlg::accept() {
    {
        QSettings settings;
        settings.setValue(SettingsKey::kUseWelcomeDlg, cbWelcome->isChecked());
        settings.setValue(SettingsKey::kUseVaultWizard, cbVaultWizard->isChecked());
        settings.setValue(SettingsKey::kForgetTimeout, sbTimeout->value());
        settings.setValue(SettingsKey::kRecentMax, sbRecent->value());

        // Only the oldest entries go; those kept are written as they were
        // stored, so the list keeps the form the main window gave it.
        QStringList lRecent = settings.value(SettingsKey::kRecentList).toStringList();
        if (lRecent.size() > sbRecent->value())
            lRecent.resize(sbRecent->value());
        settings.setValue(SettingsKey::kRecentList, lRecent);

        settings.setValue(SettingsKey::kInterface, rbTabs->isChecked() ? "tabs" : "windows");
        settings.setValue(SettingsKey::kWinMaxed, cbWinMaxed->isChecked());
        settings.setValue(SettingsKey::kTabsClosable, cbCloseTabs->isChecked());
        settings.setValue(SettingsKey::kTabsMovable, cbMoveTabs->isChecked());
        const int iPosition =
            std::clamp(cbTabPos->currentIndex(), 0, int(std::size(aTabPositions)) - 1);
        settings.setValue(SettingsKey::kTabPosition, aTabPositions[iPosition]);
    }
    QDialog::accept();
}

void OptionsDlg::layoutChanged() {
    const bool bTabs = rbTabs->isChecked();
    cbTabPos->setEnabled(bTabs);
    cbCloseTabs->setEnabled(bTabs);
    cbMoveTabs->setEnabled(bTabs);
    cbWinMaxed->setEnabled(!bTabs);
}
