// confirmVaultReplace: asks before a new vault takes the place of a file.
#pragma once

#include <QString>

class QWidget;

// True when no file stands at sPath, or when the user agrees, in a warning
// that names the file and says that its notes will be lost, to replace it
// (No is the default). Callers whose path the user has already confirmed in
// a file dialog's own overwrite question do not ask again. GUI thread only.
bool confirmVaultReplace(QWidget *pParent, const QString &sPath);
