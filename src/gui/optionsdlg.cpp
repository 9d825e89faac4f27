// OptionsDlg: the program-wide settings.
#include "gui/optionsdlg.h"

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
    cbWelcome->setChecked(settings.value("general/useWelcomeDlg", true).toBool());
    cbVaultWizard->setChecked(settings.value("general/useVaultWizard", true).toBool());
    // 0 means "Never"; a negative value means the same and shows so.
    showCount(sbTimeout, settings.value("general/forgetTimeout"), 0);
    showCount(sbRecent, settings.value("recentVaults/max"), 4);

    // Checking a button toggles it, which runs layoutChanged(); neither is
    // checked in the form, so one of the two always toggles here.
    if (settings.value("layout/interface").toString() == QLatin1String("tabs"))
        rbTabs->setChecked(true);
    else
        rbWindows->setChecked(true);

    cbWinMaxed->setChecked(settings.value("layout/winMaxed", true).toBool());
    cbCloseTabs->setChecked(settings.value("layout/tabsClosable", true).toBool());
    cbMoveTabs->setChecked(settings.value("layout/tabsMovable", true).toBool());

    // An unknown position shows the default, "Top", rather than no entry,
    // which would be stored as an empty text.
    const QString sPosition = settings.value("layout/tabPosition", "Top").toString();
    const auto *pFound =
        std::find_if(std::begin(aTabPositions), std::end(aTabPositions),
                     [&sPosition](const char *sName) { return sPosition == QLatin1String(sName); });
    cbTabPos->setCurrentIndex(
        pFound == std::end(aTabPositions) ? 0 : int(pFound - std::begin(aTabPositions)));
}

void OptionsDlg::accept() {
    {
        QSettings settings;
        settings.setValue("general/useWelcomeDlg", cbWelcome->isChecked());
        settings.setValue("general/useVaultWizard", cbVaultWizard->isChecked());
        settings.setValue("general/forgetTimeout", sbTimeout->value());
        settings.setValue("recentVaults/max", sbRecent->value());

        // Only the oldest entries go; those kept are written as they were
        // stored, so the list keeps the form the main window gave it.
        QStringList lRecent = settings.value("recentVaults/list").toStringList();
        if (lRecent.size() > sbRecent->value())
            lRecent.resize(sbRecent->value());
        settings.setValue("recentVaults/list", lRecent);

        settings.setValue("layout/interface", rbTabs->isChecked() ? "tabs" : "windows");
        settings.setValue("layout/winMaxed", cbWinMaxed->isChecked());
        settings.setValue("layout/tabsClosable", cbCloseTabs->isChecked());
        settings.setValue("layout/tabsMovable", cbMoveTabs->isChecked());
        const int iPosition =
            std::clamp(cbTabPos->currentIndex(), 0, int(std::size(aTabPositions)) - 1);
        settings.setValue("layout/tabPosition", aTabPositions[iPosition]);
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
