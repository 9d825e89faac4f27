// NewVaultWiz: the guided start: create, open or import a vault.
#pragma once

#include <QWizard>

// Collects answers only; the caller runs it modally and, after Accepted,
// reads the field "mode" first (0 create, 1 open, 2 import from the cloud)
// and then the fields that mode needs:
//   "vaultName", "vaultLocation" (QString)   intro page
//   "password" (QString)                     password page
//   "noteName" (QString)                     note page
//   "enableSync", "syncRemember" (bool),
//   "syncUser", "syncPass" (QString)         cloud sync page
// In modes 1 and 2 the wizard finishes on its first page and the later
// fields keep their defaults. Page ids: 1 intro, 2 password, 3 note, 4 sync.
// Leaving the intro page for a new vault whose file exists asks whether to
// replace it; No stays on the page. A folder there, or a vault that another
// window or program holds, is refused in a box instead, and the page stays.
// GUI thread only.
class NewVaultWiz : public QWizard {
    Q_OBJECT

public:
    enum PageId { IntroPage = 1, PassPage = 2, NotePage = 3, SyncPage = 4 };

    explicit NewVaultWiz(QWidget *parent = nullptr);

    // The file of the new vault (mode 0): the folder "vaultLocation", the
    // platform's separator, "vaultName" and ".vault".
    QString vaultPath() const;
    // The user agreed to replace the file that stood at vaultPath() when the
    // intro page was left.
    bool isReplaceConfirmed() const;
    // The vault open in the calling window (empty: none), which a new vault
    // may replace after the question although its window holds it.
    void setOpenVault(const QString &sPath) { sOpenVault = sPath; }

public slots:
    // Opens the quick-start page of the help.
    virtual void showHelp();

protected:
    bool validateCurrentPage() override;

private:
    // The path whose file the user agreed to replace; empty when none.
    QString sReplaceConfirmed;
    QString sOpenVault;
};
