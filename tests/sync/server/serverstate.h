// ServerState: the test sync server's users and remote vaults, kept in a
// folder of their own so that a restarted server still knows them.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testserver {

// One note of a remote vault: its encrypted bytes as the client sent them,
// or a tombstone once erased.
struct RemoteNote {
    int64_t iVersion = 0;
    bool bDeleted = false;
    QByteArray baMeta;
    QByteArray baData;
};

// A remote vault: one version counter, raised by every store and erase.
struct RemoteVault {
    QByteArray baId; // 36-character text
    QByteArray baOwner;
    QByteArray baName;
    int64_t iCounter = 0;
    std::map<QByteArray, RemoteNote> hNotes; // by the note id's text form

    // Bytes of the live notes, as quotas count them.
    int64_t used() const;
};

struct User {
    QByteArray baPassword;
    int64_t iQuota = -1; // bytes over all the user's vaults; -1: none
};

// Loads the folder at construction (creating it when missing) and writes
// every change through before it returns: users and a vault's owner and
// name each in a file replaced whole, and every stored or erased note as a
// record appended to the vault's log (erased ones as tombstones, so that the
// highest version gives the counter back). Not locked: the server
// serialises all calls.
class ServerState {
public:
    explicit ServerState(const std::string &sFolder);

    void setUser(const QByteArray &baName, const QByteArray &baPassword, int64_t iQuota);
    const User *findUser(const QByteArray &baName) const;

    RemoteVault &createVault(const QByteArray &baOwner, const QByteArray &baName);
    RemoteVault *findVault(const QByteArray &baId);
    std::vector<const RemoteVault *> vaultsOf(const QByteArray &baOwner) const;
    int64_t usedBy(const QByteArray &baOwner) const;

    // The note's new version.
    int64_t storeNote(RemoteVault &rVault, const QByteArray &baNoteId, const QByteArray &baMeta,
                      const QByteArray &baData);
    // The tombstone's version (an erased note keeps its first); -1 for a
    // note the vault never held.
    int64_t eraseNote(RemoteVault &rVault, const QByteArray &baNoteId);

private:
    std::string vaultFolder(const QByteArray &baId) const;
    void saveUsers() const;
    void saveVault(const RemoteVault &rVault) const;
    void saveNote(const RemoteVault &rVault, const QByteArray &baNoteId) const;

    std::string sFolder;
    std::map<QByteArray, User> hUsers;
    std::map<QByteArray, RemoteVault> hVaults;
};

} // namespace testserver
