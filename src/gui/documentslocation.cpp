// documentsLocation: the folder where the file dialogs of vaults and notes start.
#include "gui/documentslocation.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString documentsLocation() {
    const QString sDocuments = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(sDocuments).isDir() ? sDocuments : QDir::homePath();
}
