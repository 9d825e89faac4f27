// confirmVaultReplace: asks before a new vault takes the place of a file,
// and refuses at once what no new vault may replace.
#pragma once

#include <QString>

class QWidget;
namespace Ka {
class FileException;
}

// True when sPath names the vault open in this window (sOpenVault, its path;
// empty when none is open). The window lets that one go itself before
// anything is done with its file.
bool isOpenVault(const QString &sPath, const QString &sOpenVault);
// True for the store's refusal of a vault that another store holds.
bool isVaultInUse(const Ka::FileException &e);
// Says in a box that the vault is open in another window or program.
void reportVaultInUse(QWidget *pParent);
// True, after that box, when the vault at sPath is held by a store, in this
// program or another, other than the vault open in this window (sOpenVault,
// its path; empty when none is open), which the window lets go itself.
bool refuseHeldVault(QWidget *pParent, const QString &sPath, const QString &sOpenVault);
// True, after a box that says why, when no new vault may take the place of
// what stands at sPath: a folder or a file this user cannot read, whose
// lock cannot be tried (a box of its own each, critical, OK only), or a
// vault held elsewhere (the in-use box). False when it may.
bool refuseVaultReplace(QWidget *pParent, const QString &sPath, const QString &sOpenVault);
// True when no file stands at sPath, or when the user agrees, in a warning
// that names the file and says that its notes will be lost, to replace it
// (No is the default). What refuseVaultReplace refuses is refused in its
// box instead of the question. Callers whose path the user has already
// confirmed in a file dialog's own overwrite question call
// refuseVaultReplace alone. GUI thread only.
bool confirmVaultReplace(QWidget *pParent, const QString &sPath, const QString &sOpenVault);
