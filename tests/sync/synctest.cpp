// Helpers for the sync tests: recorded runs, notes and the server fixture.
#include "synctest.h"

#include "store/stringconv.h"
#include "vrel/vrel.h"

#include <algorithm>
#include <random>

namespace synctest {

namespace {

Ka::String kstr(const std::string &s) {
    return Ka::String(s.data(), int(s.size()));
}

std::string str(const Ka::String &s) {
    return std::string(s.getConstStr(), size_t(s.getSize()));
}

std::unique_ptr<Vrel::Dictionary> content(const std::string &sHtml) {
    auto pContent = std::make_unique<Vrel::Dictionary>();
    pContent->insert("data", QByteArray::fromStdString(sHtml));
    return pContent;
}

} // namespace

std::vector<std::string> Outcome::withPrefix(const std::string &sPrefix) const {
    std::vector<std::string> lFound;
    for (const std::string &sEvent : lEvents)
        if (sEvent.rfind(sPrefix, 0) == 0)
            lFound.push_back(sEvent.substr(sPrefix.size()));
    return lFound;
}

bool Outcome::has(const std::string &sEvent) const {
    return std::find(lEvents.begin(), lEvents.end(), sEvent) != lEvents.end();
}

Outcome runToEnd(Client &rClient) {
    Outcome result;
    auto note = [&result](const std::string &s) { result.lEvents.push_back(s); };
    QObject::connect(&rClient, &Client::operationText,
                     [=](const QString &s) { note("text " + s.toStdString()); });
    QObject::connect(&rClient, &Client::operationCount,
                     [=](int n) { note("count " + std::to_string(n)); });
    QObject::connect(&rClient, &Client::operationStep,
                     [=](int n) { note("step " + std::to_string(n)); });
    QObject::connect(&rClient, &Client::gotVaultList, [&result, note](const VaultInfoList &l) {
        result.lVaults = l;
        note("vaults " + std::to_string(l.size()));
    });
    QObject::connect(&rClient, &Client::vaultChanged, [=] { note("vaultChanged"); });
    QObject::connect(&rClient, &Client::badLogin, [=] { note("badLogin"); });
    QObject::connect(&rClient, &Client::error,
                     [=](const QString &s) { note("error " + s.toStdString()); });
    QObject::connect(&rClient, &Client::done, [=] { note("done"); });
    rClient.start();
    rClient.wait();
    EXPECT_EQ(std::count(result.lEvents.begin(), result.lEvents.end(), "done"), 1);
    EXPECT_EQ(result.lEvents.empty() ? "" : result.lEvents.back(), "done");
    return result;
}

std::string noise(size_t iBytes) {
    static std::mt19937 rng(20240);
    static const char sDigits[] =
        "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ+/";
    std::string s(iBytes, '\0');
    for (char &c : s)
        c = sDigits[rng() % 64];
    return s;
}

Ka::Uuid addNote(NoteStore &rStore, const std::string &sName, const std::string &sHtml) {
    const Ka::Uuid uId = Ka::Uuid::generate();
    rStore.createNote(uId, kstr(sName), "html", content(sHtml).get());
    return uId;
}

void editNote(NoteStore &rStore, const Ka::Uuid &uId, const std::string &sHtml) {
    rStore.saveNote(uId, content(sHtml).get());
}

Contents contentsOf(NoteStore &rStore) {
    Contents hContents;
    for (auto it = rStore.getNotes().begin(); it.isValid(); ++it) {
        std::unique_ptr<Vrel::Dictionary> pContent(rStore.loadNote(it.getKey()));
        hContents[str(it.getKey().toString())] =
            Content{str(it.getValue().sName),
                    pContent ? pContent->valueStr("data").toStdString() : "(unreadable)"};
    }
    return hContents;
}

QByteArray syncIdOf(const NoteStore &rStore) {
    const auto *pId = dynamic_cast<const Vrel::String *>(rStore.getHeader("syncId"));
    return pId ? QByteArray(*pId) : QByteArray();
}

std::vector<std::string> summary(NoteStore &rStore) {
    std::vector<std::string> lNotes;
    for (const auto &[sId, content] : contentsOf(rStore))
        lNotes.push_back(content.sName + ": " + content.sHtml);
    std::sort(lNotes.begin(), lNotes.end());
    return lNotes;
}

SyncTest::SyncTest() {
    restartServer();
    pServer->setUser(kUser, kPass);
}

std::unique_ptr<NoteStore> SyncTest::openVault(const std::string &sName,
                                               const std::string &sPassword) {
    return std::make_unique<NoteStore>(kstr(vaultPath(sName)), kstr(sPassword));
}

Outcome SyncTest::sync(NoteStore &rStore, int iTimeout) {
    TestClient client(&rStore, pServer->getPort(), Client::SyncVault, {}, kUser, kPass, iTimeout);
    return runToEnd(client);
}

Outcome SyncTest::listVaults(NoteStore &rStore) {
    TestClient client(&rStore, pServer->getPort(), Client::ListVaults);
    return runToEnd(client);
}

Outcome SyncTest::download(NoteStore &rStore, const QByteArray &baVaultId) {
    TestClient client(&rStore, pServer->getPort(), Client::DownloadVault, baVaultId);
    return runToEnd(client);
}

std::unique_ptr<NoteStore> SyncTest::downloadCopy(NoteStore &rFrom, const std::string &sName) {
    auto pCopy = openVault(sName);
    const QByteArray baId = syncIdOf(rFrom);
    EXPECT_FALSE(baId.isEmpty());
    const Outcome result = download(*pCopy, baId);
    EXPECT_TRUE(result.ok()) << ::testing::PrintToString(result.lEvents);
    return pCopy;
}

void SyncTest::restartServer() {
    pServer.reset();
    pServer = std::make_unique<testserver::SyncServer>(dir.getFilePath("server"));
}

} // namespace synctest
