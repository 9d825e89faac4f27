// documentsLocation: the folder where the file dialogs of vaults and notes start.
#include "gui/documentslocation.h"

#include <QStandardPaths>

QString documentsLocation() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}
