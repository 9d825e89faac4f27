// ServerState: users.vrel, and per vault a folder with vault.vrel and
// notes.log, the notes' records one after another, later ones replacing
// earlier ones.
#include "serverstate.h"

#include "vrel/vrel.h"

#include <QBuffer>
#include <QFile>
#include <QUuid>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>

namespace testserver {

namespace {

namespace fs = std::filesystem;

// Replaces the file whole: written beside it, then renamed over it.
void writeValue(const std::string &sPath, const Vrel::Object &rValue) {
    QByteArray baBytes;
    {
        QBuffer buffer(&baBytes);
        buffer.open(QIODevice::WriteOnly);
        Vrel::VrelStream(&buffer).writeObject(&rValue);
    }
    const std::string sTemp = sPath + ".tmp";
    QFile file(QString::fromStdString(sTemp));
    if (!file.open(QIODevice::WriteOnly) || file.write(baBytes) != baBytes.size())
        throw std::runtime_error("test server: cannot write " + sTemp);
    file.close();
    fs::rename(sTemp, sPath);
}

std::unique_ptr<Vrel::Dictionary> readValue(const std::string &sPath) {
    QFile file(QString::fromStdString(sPath));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("test server: cannot read " + sPath);
    std::unique_ptr<Vrel::Object> pValue(Vrel::VrelStream(&file).readObject());
    auto *pDict = dynamic_cast<Vrel::Dictionary *>(pValue.get());
    if (!pDict)
        throw std::runtime_error("test server: no dictionary in " + sPath);
    pValue.release();
    return std::unique_ptr<Vrel::Dictionary>(pDict);
}

} // namespace

int64_t RemoteVault::used() const {
    int64_t iUsed = 0;
    for (const auto &[baId, note] : hNotes)
        if (!note.bDeleted)
            iUsed += note.baMeta.size() + note.baData.size();
    return iUsed;
}

ServerState::ServerState(const std::string &sFolder) : sFolder(sFolder) {
    fs::create_directories(fs::path(sFolder) / "vaults");
    if (fs::exists(fs::path(sFolder) / "users.vrel")) {
        const auto pUsers = readValue(sFolder + "/users.vrel");
        for (auto it = pUsers->cbegin(); it != pUsers->cend(); ++it) {
            const auto *pUser = dynamic_cast<const Vrel::Dictionary *>(it.value());
            if (pUser)
                hUsers[it.key()] = User{pUser->valueStr("password"), pUser->valueInt("quota")};
        }
    }
    for (const auto &entry : fs::directory_iterator(fs::path(sFolder) / "vaults")) {
        const auto pInfo = readValue((entry.path() / "vault.vrel").string());
        RemoteVault vault;
        vault.baId = QByteArray::fromStdString(entry.path().filename().string());
        vault.baOwner = pInfo->valueStr("owner");
        vault.baName = pInfo->valueStr("name");
        QFile log(QString::fromStdString((entry.path() / "notes.log").string()));
        if (log.open(QIODevice::ReadOnly)) {
            Vrel::VrelStream stream(&log);
            try {
                while (auto *pValue = stream.readObject()) {
                    const std::unique_ptr<Vrel::Object> pOwned(pValue);
                    const auto *pNote = dynamic_cast<const Vrel::Dictionary *>(pValue);
                    if (!pNote)
                        continue;
                    RemoteNote &rNote = vault.hNotes[pNote->valueStr("id")];
                    rNote.iVersion = pNote->valueInt("version");
                    // Erased notes stay as tombstones, so the highest version
                    // is the counter's last value.
                    vault.iCounter = std::max(vault.iCounter, rNote.iVersion);
                    rNote.bDeleted = pNote->valueBool("deleted");
                    rNote.baMeta = pNote->valueStr("meta");
                    rNote.baData = pNote->valueStr("data");
                }
            } catch (const Vrel::Error &) {
                // A record cut short by a crash: what came before it stands.
            }
        }
        hVaults[vault.baId] = std::move(vault);
    }
}

void ServerState::setUser(const QByteArray &baName, const QByteArray &baPassword, int64_t iQuota) {
    hUsers[baName] = User{baPassword, iQuota};
    saveUsers();
}

const User *ServerState::findUser(const QByteArray &baName) const {
    const auto it = hUsers.find(baName);
    return it == hUsers.end() ? nullptr : &it->second;
}

RemoteVault &ServerState::createVault(const QByteArray &baOwner, const QByteArray &baName) {
    RemoteVault vault;
    vault.baId = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    vault.baOwner = baOwner;
    vault.baName = baName;
    fs::create_directories(vaultFolder(vault.baId));
    RemoteVault &rVault = hVaults[vault.baId] = std::move(vault);
    saveVault(rVault);
    return rVault;
}

RemoteVault *ServerState::findVault(const QByteArray &baId) {
    const auto it = hVaults.find(baId);
    return it == hVaults.end() ? nullptr : &it->second;
}

std::vector<const RemoteVault *> ServerState::vaultsOf(const QByteArray &baOwner) const {
    std::vector<const RemoteVault *> lVaults;
    for (const auto &[baId, vault] : hVaults)
        if (vault.baOwner == baOwner)
            lVaults.push_back(&vault);
    return lVaults;
}

int64_t ServerState::usedBy(const QByteArray &baOwner) const {
    int64_t iUsed = 0;
    for (const RemoteVault *pVault : vaultsOf(baOwner))
        iUsed += pVault->used();
    return iUsed;
}

int64_t ServerState::storeNote(RemoteVault &rVault, const QByteArray &baNoteId,
                               const QByteArray &baMeta, const QByteArray &baData) {
    RemoteNote &rNote = rVault.hNotes[baNoteId];
    rNote.iVersion = ++rVault.iCounter;
    rNote.bDeleted = false;
    rNote.baMeta = baMeta;
    rNote.baData = baData;
    saveNote(rVault, baNoteId);
    return rNote.iVersion;
}

int64_t ServerState::eraseNote(RemoteVault &rVault, const QByteArray &baNoteId) {
    const auto it = rVault.hNotes.find(baNoteId);
    if (it == rVault.hNotes.end())
        return -1;
    if (!it->second.bDeleted) {
        it->second = RemoteNote{++rVault.iCounter, true, {}, {}};
        saveNote(rVault, baNoteId);
    }
    return it->second.iVersion;
}

std::string ServerState::vaultFolder(const QByteArray &baId) const {
    return sFolder + "/vaults/" + baId.toStdString();
}

void ServerState::saveUsers() const {
    Vrel::Dictionary users;
    for (const auto &[baName, user] : hUsers) {
        auto *pUser = new Vrel::Dictionary;
        pUser->insert("password", user.baPassword);
        pUser->insert("quota", new Vrel::Integer(user.iQuota));
        users.insert(baName, pUser);
    }
    writeValue(sFolder + "/users.vrel", users);
}

void ServerState::saveVault(const RemoteVault &rVault) const {
    Vrel::Dictionary info;
    info.insert("owner", rVault.baOwner);
    info.insert("name", rVault.baName);
    writeValue(vaultFolder(rVault.baId) + "/vault.vrel", info);
}

void ServerState::saveNote(const RemoteVault &rVault, const QByteArray &baNoteId) const {
    const RemoteNote &rNote = rVault.hNotes.at(baNoteId);
    Vrel::Dictionary note;
    note.insert("id", baNoteId);
    note.insert("version", new Vrel::Integer(rNote.iVersion));
    note.insert("deleted", new Vrel::Boolean(rNote.bDeleted));
    note.insert("meta", rNote.baMeta);
    note.insert("data", rNote.baData);
    QFile log(QString::fromStdString(vaultFolder(rVault.baId) + "/notes.log"));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        throw std::runtime_error("test server: cannot append to the notes of a vault");
    Vrel::VrelStream(&log).writeObject(&note);
}

} // namespace testserver
