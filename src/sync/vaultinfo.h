// VaultInfo and VaultInfoList: the user's remote vaults as the sync server
// lists them, carried from the sync client to the GUI.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

// One remote vault.
struct VaultInfo {
    QByteArray id; // as the server lists it
    QString name;
    qint64 used = 0; // bytes the remote vault occupies
};

// Travels through queued signals: the program registers it with
// qRegisterMetaType<VaultInfoList>("VaultInfoList") before any client runs,
// so that connections made by signature find it under that name.
using VaultInfoList = QList<VaultInfo>;

Q_DECLARE_METATYPE(VaultInfo)
