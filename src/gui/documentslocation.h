// documentsLocation: the folder where the file dialogs of vaults and notes start.
#pragma once

#include <QString>

// The user's documents folder as the desktop reports it (on Linux the XDG
// documents folder), or the home folder while the documents folder does not
// exist: a file dialog started in a missing folder would open in its parent
// with the folder's name typed in as the answer. Any thread.
QString documentsLocation();
