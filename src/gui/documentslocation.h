// documentsLocation: the folder where the file dialogs of vaults and notes start.
#pragma once

#include <QString>

// The user's documents folder as the desktop reports it (on Linux the XDG
// documents folder, else the home folder). GUI thread or any thread.
QString documentsLocation();
