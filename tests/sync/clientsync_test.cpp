// Two vaults syncing through one test server: changes, deletions and
// conflicts reach the other copy, downloads, interruptions, and many random
// rounds that must end with both copies equal and no edit lost.
#include "sync/client.h"

#include "store/stringconv.h"
#include "support/bytes.h"
#include "support/crashstates.h"
#include "synctest.h"
#include "vrel/vrel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <thread>

using namespace synctest;
using testserver::Faults;

namespace {

class ClientSync : public SyncTest {
protected:
    // a.vault with iNotes notes of iBytes each, synced.
    std::unique_ptr<NoteStore> syncedVault(int iNotes, size_t iBytes) {
        auto pA = openVault("a.vault");
        for (int i = 0; i < iNotes; ++i)
            addNote(*pA, "note " + std::to_string(i), noise(iBytes));
        EXPECT_TRUE(sync(*pA).ok());
        return pA;
    }
    void checkEveryCommit(const std::string &sName, int iOperation, const QByteArray &baVaultId,
                          const Contents &hWant);
};

std::vector<QByteArray> requestsOf(testserver::SyncServer &rServer) {
    std::vector<QByteArray> lRequests = rServer.getRequests();
    rServer.clearRequests();
    return lRequests;
}

bool contains(const std::vector<QByteArray> &lRequests, const char *sMsg) {
    return std::find(lRequests.begin(), lRequests.end(), QByteArray(sMsg)) != lRequests.end();
}

// Syncs rStore while the server holds its answer to the sync's first store
// request for iMillis; fMeanwhile runs once that request has come.
Outcome syncWithStoreHeld(testserver::SyncServer &rServer, NoteStore &rStore, int iMillis,
                          const std::function<void()> &fMeanwhile) {
    Faults faults;
    faults.eKind = Faults::Kind::Stall;
    faults.baOn = "store";
    faults.iAt = 1;
    faults.iStallMillis = iMillis;
    rServer.setFaults(faults);
    TestClient client(&rStore, rServer.getPort(), Client::SyncVault);
    Outcome outcome;
    std::thread waiting([&] { outcome = runToEnd(client); });
    while (!contains(rServer.getRequests(), "store"))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    // The request is held already; later ones are not.
    rServer.setFaults(Faults());
    fMeanwhile();
    waiting.join();
    return outcome;
}

TEST_F(ClientSync, ChangesReachTheOtherVault) {
    auto pA = openVault("a.vault");
    const Ka::Uuid idEdit = addNote(*pA, "edit me", "old"),
                   idRename = addNote(*pA, "rename me", "r");
    const Ka::Uuid idDelete = addNote(*pA, "delete me", "d");
    const Outcome first = sync(*pA);
    ASSERT_TRUE(first.ok());
    EXPECT_TRUE(first.has("text Creating remote vault..."));
    auto pB = downloadCopy(*pA, "b.vault");
    EXPECT_EQ(contentsOf(*pB), contentsOf(*pA));

    editNote(*pA, idEdit, "new");
    pA->renameNote(idRename, Ka::String("renamed"));
    ASSERT_TRUE(pA->deleteNote(idDelete));
    addNote(*pA, "added", "a");
    ASSERT_TRUE(sync(*pA).ok());
    requestsOf(*pServer);
    ASSERT_TRUE(sync(*pB).ok());
    EXPECT_EQ(summary(*pB), (std::vector<std::string>{"added: a", "edit me: new", "renamed: r"}));
    EXPECT_EQ(contentsOf(*pB), contentsOf(*pA));
    // A deletion fetched from the server is not sent back to it.
    EXPECT_FALSE(contains(requestsOf(*pServer), "erase"));
    EXPECT_FALSE(pB->hasHeader("deletes"));

    // The sent deletions are gone from A's file too.
    pA.reset();
    EXPECT_FALSE(openVault("a.vault")->hasHeader("deletes"));

    // Nothing left to do: no note moves.
    ASSERT_TRUE(sync(*pB).ok());
    const std::vector<QByteArray> lIdle = requestsOf(*pServer);
    EXPECT_FALSE(contains(lIdle, "load"));
    EXPECT_FALSE(contains(lIdle, "store"));
}

// Our own erase must not move the mark past changes made elsewhere before it.
TEST_F(ClientSync, ChangesBetweenSyncsAreNeverSkipped) {
    auto pA = openVault("a.vault");
    const Ka::Uuid idGone = addNote(*pA, "gone", "g"), idKept = addNote(*pA, "kept", "k");
    ASSERT_TRUE(sync(*pA).ok());
    auto pB = downloadCopy(*pA, "b.vault");
    editNote(*pB, idKept, "changed in b");
    const Ka::Uuid idNew = addNote(*pB, "new in b", "n");
    ASSERT_TRUE(sync(*pB).ok());

    ASSERT_TRUE(pA->deleteNote(idGone));
    ASSERT_TRUE(sync(*pA).ok());
    EXPECT_EQ(summary(*pA), (std::vector<std::string>{"kept: changed in b", "new in b: n"}));
    // A later edit here builds on the fetched version instead of replacing it.
    editNote(*pA, idNew, "n, then a");
    ASSERT_TRUE(sync(*pA).ok());
    ASSERT_TRUE(sync(*pB).ok());
    EXPECT_EQ(summary(*pB),
              (std::vector<std::string>{"kept: changed in b", "new in b: n, then a"}));
}

TEST_F(ClientSync, ANoteEditedOnBothSidesKeepsBothVersions) {
    auto pA = openVault("a.vault");
    const Ka::Uuid id = addNote(*pA, "shared", "base");
    ASSERT_TRUE(sync(*pA).ok());
    auto pB = downloadCopy(*pA, "b.vault");
    editNote(*pA, id, "from a");
    editNote(*pB, id, "from b");
    ASSERT_TRUE(sync(*pA).ok());
    const Outcome merged = sync(*pB);
    ASSERT_TRUE(merged.ok());
    EXPECT_TRUE(merged.has("vaultChanged"));
    EXPECT_EQ(summary(*pB),
              (std::vector<std::string>{"shared (local copy): from b", "shared: from a"}));
    ASSERT_TRUE(sync(*pA).ok());
    EXPECT_EQ(contentsOf(*pA), contentsOf(*pB));
}

TEST_F(ClientSync, ANoteEditedHereButDeletedThereIsKept) {
    auto pA = openVault("a.vault");
    const Ka::Uuid id = addNote(*pA, "doomed", "base");
    ASSERT_TRUE(sync(*pA).ok());
    auto pB = downloadCopy(*pA, "b.vault");
    ASSERT_TRUE(pA->deleteNote(id));
    ASSERT_TRUE(sync(*pA).ok());
    editNote(*pB, id, "still needed");
    ASSERT_TRUE(sync(*pB).ok());
    EXPECT_EQ(summary(*pB), std::vector<std::string>{"doomed (local copy): still needed"});
    EXPECT_FALSE(pB->getNotes().has(id));
    ASSERT_TRUE(sync(*pA).ok());
    EXPECT_EQ(contentsOf(*pA), contentsOf(*pB));
}

TEST_F(ClientSync, DownloadedVaultsOpenWithTheirPassword) {
    auto pA = openVault("Recipes.vault");
    addNote(*pA, "Suppe", "<p>Wasser, Salz</p>");
    addNote(*pA, "Brot", noise(20000));
    ASSERT_TRUE(sync(*pA).ok());

    auto pB = openVault("copy.vault");
    const Outcome listed = listVaults(*pB);
    ASSERT_TRUE(listed.ok());
    ASSERT_EQ(listed.lVaults.size(), 1);
    EXPECT_EQ(listed.lVaults[0].name, "Recipes");
    const Outcome downloaded = download(*pB, listed.lVaults[0].id);
    ASSERT_TRUE(downloaded.ok());
    EXPECT_EQ(downloaded.texts(),
              (std::vector<std::string>{"Connecting...", "Establishing security...",
                                        "Logging in...", "Fetching Note List...",
                                        "Downloading Note Data...", "Completed"}));
    pB.reset();
    EXPECT_THROW(openVault("copy.vault", "another password"), Ka::ExceptionBase);
    pB = openVault("copy.vault");
    EXPECT_EQ(contentsOf(*pB), contentsOf(*pA));
    EXPECT_EQ(syncIdOf(*pB), listed.lVaults[0].id);
    // The first sync after a download lists everything and fetches nothing.
    requestsOf(*pServer);
    ASSERT_TRUE(sync(*pB).ok());
    EXPECT_FALSE(contains(requestsOf(*pServer), "load"));

    // A vault made with another password reads none of the notes: the
    // import is refused for the password, and the vault stays unbound.
    auto pWrong = openVault("wrong.vault", "another password");
    const Outcome refused = download(*pWrong, listed.lVaults[0].id);
    EXPECT_EQ(refused.errors(),
              std::vector<std::string>{"The vault was not imported: none of its notes can be "
                                       "read with the password given. Please import it again "
                                       "with the password of the vault it came from."});
    const std::vector<std::string> lTexts = refused.texts();
    EXPECT_EQ(std::count(lTexts.begin(), lTexts.end(), "Completed"), 0);
    pWrong.reset();
    pWrong = openVault("wrong.vault", "another password");
    EXPECT_EQ(pWrong->getNoteCount(), 0);
    EXPECT_EQ(pWrong->getHeader("syncId"), nullptr);
    EXPECT_EQ(pWrong->getRemoteVersion(), 0);

    // Bound by hand, it sends a note of its own; a download then imports
    // the notes it can read and leaves out that one, saying so.
    pWrong->setHeader("syncId", new Vrel::String(listed.lVaults[0].id));
    addNote(*pWrong, "Fremd", "x");
    ASSERT_FALSE(sync(*pWrong).errors().empty());
    auto pMixed = openVault("mixed.vault");
    EXPECT_EQ(download(*pMixed, listed.lVaults[0].id).errors(),
              std::vector<std::string>{"1 note(s) from the server could not be read with this "
                                       "vault's password and were left out."});
    EXPECT_EQ(contentsOf(*pMixed), contentsOf(*pA));
}

TEST_F(ClientSync, AnInterruptedDownloadIsCompletedByTheNextSync) {
    auto pA = syncedVault(6, 500);
    const QByteArray baId = syncIdOf(*pA);
    Faults faults;
    faults.eKind = Faults::Kind::DropMidAnswer;
    faults.baOn = "load";
    faults.iAt = 4;
    pServer->setFaults(faults);
    auto pB = openVault("b.vault");
    const Outcome cut = download(*pB, baId);
    EXPECT_EQ(cut.errors(), std::vector<std::string>{"Error communicating with server."});
    EXPECT_TRUE(cut.has("vaultChanged"));
    pServer->setFaults(Faults());
    pB.reset();
    pB = openVault("b.vault");
    EXPECT_EQ(pB->getNoteCount(), 3);
    EXPECT_EQ(syncIdOf(*pB), baId);
    // The mark stays at 0, so that the sync fetches the rest.
    EXPECT_EQ(pB->getRemoteVersion(), 0);
    ASSERT_TRUE(sync(*pB).ok());
    EXPECT_EQ(contentsOf(*pB), contentsOf(*pA));
}

// A complete download marks the vault as far as the server's changes go: a
// note deleted before the first sync is erased there, not fetched again.
TEST_F(ClientSync, ANoteDeletedRightAfterADownloadIsErasedByTheFirstSync) {
    auto pA = openVault("a.vault");
    const Ka::Uuid idKeep = addNote(*pA, "keep", "k");
    const Ka::Uuid idGone = addNote(*pA, "gone", "g");
    ASSERT_TRUE(sync(*pA).ok());
    editNote(*pA, idKeep, "kept and edited");
    ASSERT_TRUE(sync(*pA).ok());
    auto pB = downloadCopy(*pA, "b.vault");
    EXPECT_EQ(pB->getRemoteVersion(), pA->getRemoteVersion());

    ASSERT_TRUE(pB->deleteNote(idGone));
    requestsOf(*pServer);
    ASSERT_TRUE(sync(*pB).ok());
    const std::vector<QByteArray> lRequests = requestsOf(*pServer);
    EXPECT_TRUE(contains(lRequests, "erase"));
    EXPECT_FALSE(contains(lRequests, "load"));
    EXPECT_EQ(summary(*pB), std::vector<std::string>{"keep: kept and edited"});
    ASSERT_TRUE(sync(*pA).ok());
    EXPECT_EQ(contentsOf(*pA), contentsOf(*pB));
}

// What another copy stores while a download runs is fetched by the download
// itself, also an edit of a note loaded before it, whose version is below
// those of the notes loaded after it.
TEST_F(ClientSync, ChangesStoredDuringADownloadAreFetched) {
    auto pA = openVault("a.vault");
    for (int i = 0; i < 4; ++i)
        addNote(*pA, "note " + std::to_string(i), "old");
    ASSERT_TRUE(sync(*pA).ok());
    auto pC = downloadCopy(*pA, "c.vault");
    const QByteArray baId = syncIdOf(*pA);
    auto pB = openVault("b.vault");
    TestClient client(pB.get(), pServer->getPort(), Client::DownloadVault, baId);
    // Right after the first note is in (on the download's thread, which
    // waits meanwhile), C edits every note.
    QObject::connect(&client, &Client::operationStep, [&](int iStep) {
        if (iStep != 1)
            return;
        const Ka::List<Ka::Uuid> lIds = pC->getNoteIds();
        for (auto it = lIds.begin(); it != lIds.end(); ++it)
            editNote(*pC, *it, "edited during the download");
        EXPECT_TRUE(sync(*pC).ok());
    });
    EXPECT_TRUE(runToEnd(client).ok());
    EXPECT_EQ(contentsOf(*pB), contentsOf(*pC));
    requestsOf(*pServer);
    ASSERT_TRUE(sync(*pB).ok());
    EXPECT_FALSE(contains(requestsOf(*pServer), "load"));
}

// An upload whose answer never came is not taken for a conflict later.
TEST_F(ClientSync, AnUploadCutBeforeItsAnswerIsNotDuplicated) {
    auto pA = openVault("a.vault");
    const Ka::Uuid id = addNote(*pA, "n", "first");
    ASSERT_TRUE(sync(*pA).ok());
    editNote(*pA, id, "second");
    Faults faults;
    faults.eKind = Faults::Kind::Drop;
    faults.baOn = "store";
    faults.iAt = 1;
    pServer->setFaults(faults);
    ASSERT_FALSE(sync(*pA).ok());
    pServer->setFaults(Faults());
    // The server stored it, but dropped the line before its answer.
    EXPECT_TRUE(pA->getNotes().get(id).bChanged);
    ASSERT_TRUE(sync(*pA).ok());
    EXPECT_EQ(summary(*pA), std::vector<std::string>{"n: second"});
    EXPECT_FALSE(pA->getNotes().get(id).bChanged);
}

// Another copy stores a note while our upload waits: our uploads then do
// not follow the versions the change list ended at, and a second list finds
// that note. Without trouble, one list is enough.
TEST_F(ClientSync, ChangesStoredDuringOurUploadAreFetched) {
    auto pA = openVault("a.vault");
    addNote(*pA, "first", "1");
    ASSERT_TRUE(sync(*pA).ok());
    auto pB = downloadCopy(*pA, "b.vault");
    addNote(*pA, "from a", "a");
    requestsOf(*pServer);
    ASSERT_TRUE(sync(*pA).ok());
    const std::vector<QByteArray> lQuiet = requestsOf(*pServer);
    EXPECT_EQ(std::count(lQuiet.begin(), lQuiet.end(), "since"), 1);

    addNote(*pA, "from a again", "a2");
    addNote(*pB, "from b", "b");
    // A's store is held; B stores in between.
    const Outcome outcome =
        syncWithStoreHeld(*pServer, *pA, 1500, [&] { ASSERT_TRUE(sync(*pB).ok()); });
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(summary(*pA),
              (std::vector<std::string>{"first: 1", "from a again: a2", "from a: a", "from b: b"}));
    ASSERT_TRUE(sync(*pB).ok());
    EXPECT_EQ(contentsOf(*pA), contentsOf(*pB));
}

// A vault whose file another program took away is not synced: nothing is
// sent, not even a connection made. Deleted in the middle of a sync, it stops
// the sync at the commit that would record the upload, and a sync from the
// copy saved anew sends the note again, once.
TEST_F(ClientSync, AVaultWhoseFileWentIsNotSynced) {
    auto pA = openVault("a.vault");
    const Ka::Uuid id = addNote(*pA, "n", "text");
    std::filesystem::rename(vaultPath("a.vault"), vaultPath("moved.vault"));
    EXPECT_EQ(sync(*pA).errors(),
              std::vector<std::string>{NoteStore::kVaultMoved + vaultPath("a.vault")});
    EXPECT_EQ(pServer->getConnectionCount(), 0);
    pA = pA->saveCopyAs(toKaString(QByteArray::fromStdString(vaultPath("a.vault"))));

    const Outcome outcome = syncWithStoreHeld(
        *pServer, *pA, 1000, [&] { std::filesystem::remove(vaultPath("a.vault")); });
    EXPECT_EQ(outcome.errors(),
              std::vector<std::string>{NoteStore::kVaultMoved + vaultPath("a.vault")});
    pA = pA->saveCopyAs(toKaString(QByteArray::fromStdString(vaultPath("b.vault"))));
    EXPECT_TRUE(pA->getNotes().get(id).bChanged);
    ASSERT_TRUE(sync(*pA).ok());
    EXPECT_FALSE(pA->getNotes().get(id).bChanged);
    EXPECT_EQ(pServer->vaultsOf(kUser).size(), 1u);
    EXPECT_EQ(pServer->vaultsOf(kUser).at(0).hNotes.size(), 1u);
}

// A server that lost the vault gets a new one with every note.
TEST_F(ClientSync, ANewRemoteVaultWhenTheOldOneIsGone) {
    auto pA = openVault("a.vault");
    addNote(*pA, "one", "1");
    addNote(*pA, "two", "2");
    ASSERT_TRUE(sync(*pA).ok());
    const QByteArray baOld = syncIdOf(*pA);
    pServer.reset();
    support::TempDir other;
    pServer = std::make_unique<testserver::SyncServer>(other.getFilePath("server"));
    pServer->setUser(kUser, kPass);
    const Outcome fresh = sync(*pA);
    ASSERT_TRUE(fresh.ok());
    EXPECT_TRUE(fresh.has("text Creating remote vault..."));
    EXPECT_NE(syncIdOf(*pA), baOld);
    auto pB = downloadCopy(*pA, "b.vault");
    EXPECT_EQ(contentsOf(*pB), contentsOf(*pA));
}

// A vault whose files log every write, through the store's test seam.
struct WatchedVault {
    class Store : public NoteStore {
    public:
        Store(const std::string &sPath, WatchedVault &rOwner)
            : NoteStore(support::toKa(sPath), support::toKa(kVaultPass),
                        [&rOwner](std::unique_ptr<Files> pDisk) {
                            auto pFiles = std::make_unique<support::WatchedFiles>(std::move(pDisk));
                            rOwner.pFiles = pFiles.get();
                            return std::unique_ptr<Files>(std::move(pFiles));
                        }) {}
    };
    support::WatchedFiles *pFiles = nullptr;
    std::unique_ptr<Store> pStore;
    explicit WatchedVault(const std::string &sPath)
        : pStore(std::make_unique<Store>(sPath, *this)) {}
};

// Everything the sync keeps in a vault: each note's record and body, the
// remote version, the remote vault and the queued deletions.
std::string recordOf(NoteStore &rStore) {
    std::string s = std::to_string(rStore.getRemoteVersion());
    for (const char *sKey : {"syncId", "deletes"})
        s += rStore.hasHeader(sKey) ? "|+" : "|-";
    s += syncIdOf(rStore).toStdString();
    std::map<std::string, std::string> hNotes;
    for (auto it = rStore.getNotes().begin(); it.isValid(); ++it) {
        const NoteStore::Note &rNote = it.getValue();
        hNotes[support::toStd(it.getKey().toString())] =
            support::toStd(rNote.sName) + "|" + std::to_string(rNote.iVersion) + "|" +
            std::to_string(rNote.bChanged) + "|" + support::toStd(rStore.getNoteData(it.getKey()));
    }
    for (const auto &[sId, sNote] : hNotes)
        s += "\n" + sId + sNote;
    return s;
}

// Before a note has opened with its password, a download cut off leaves
// the vault tied to nothing, whatever that password: what is written there
// afterwards never reaches the remote vault.
TEST_F(ClientSync, ADownloadCutBeforeANoteOpensTiesNothing) {
    auto pA = syncedVault(3, 500);
    const QByteArray baId = syncIdOf(*pA);
    const testserver::RemoteVault before = pServer->vaultsOf(kUser).at(0);
    Faults faults;
    faults.eKind = Faults::Kind::Drop;
    faults.baOn = "load";
    faults.iAt = 1;
    for (const std::string sPassword : {"another password", kVaultPass}) {
        pServer->setFaults(faults);
        auto pB = openVault("b.vault", sPassword);
        EXPECT_EQ(download(*pB, baId).errors(),
                  std::vector<std::string>{"Error communicating with server."});
        pServer->setFaults(Faults());
        pB.reset();
        pB = openVault("b.vault", sPassword);
        EXPECT_EQ(pB->getHeader("syncId"), nullptr);
        addNote(*pB, "Written after the cut", "x");
        ASSERT_TRUE(sync(*pB).ok());
        pB.reset();
        std::filesystem::remove(vaultPath("b.vault"));
    }
    const std::vector<testserver::RemoteVault> lAfter = pServer->vaultsOf(kUser);
    const auto it = std::find_if(lAfter.begin(), lAfter.end(),
                                 [&](const testserver::RemoteVault &v) { return v.baId == baId; });
    ASSERT_NE(it, lAfter.end());
    EXPECT_EQ(it->iCounter, before.iCounter);
    EXPECT_EQ(it->hNotes.size(), before.hNotes.size());
}

// Runs the operation on the vault sName with a commit after every note,
// then opens every state a crash during it can leave: each is the vault
// before the operation or as one of its commits left it, and a sync from
// each commit ends with the notes of hWant, none lost, none twice, none
// still to send.
void ClientSync::checkEveryCommit(const std::string &sName, int iOperation,
                                  const QByteArray &baVaultId, const Contents &hWant) {
    const std::string sPath = vaultPath(sName);
    const support::DiskState before{support::toStd(support::readFile(sPath)), std::nullopt};
    std::vector<std::string> lCommitted;
    std::vector<support::FileEvent> lEvents;
    {
        WatchedVault watched(sPath);
        QObject::connect(watched.pStore.get(), &NoteStore::headerChanged,
                         [&] { lCommitted.push_back(recordOf(*watched.pStore)); });
        watched.pFiles->clearEvents();
        TestClient client(watched.pStore.get(), pServer->getPort(), iOperation, baVaultId);
        client.setBatchBytes(1);
        ASSERT_TRUE(runToEnd(client).ok());
        lEvents = watched.pFiles->getEvents();
    }
    ASSERT_GT(lCommitted.size(), 3u);

    const std::string sCrashed = vaultPath("crashed.vault");
    const auto restore = [&](const support::DiskState &state) {
        std::filesystem::remove(sCrashed + "-journal");
        support::writeFile(sCrashed, support::toKa(state.sData));
        if (state.sJournal)
            support::writeFile(sCrashed + "-journal", support::toKa(*state.sJournal));
    };
    restore(before);
    const std::string sBefore = recordOf(*openVault("crashed.vault"));
    // One crash state for each commit found, to sync from afterwards.
    std::map<std::string, support::DiskState> hFound;
    std::mt19937 rng(77);
    const int iStates =
        support::forEachCrashState(before, lEvents, rng, 2, [&](const support::DiskState &state) {
            restore(state);
            const std::string sFound = recordOf(*openVault("crashed.vault"));
            const bool bCommitted =
                std::find(lCommitted.begin(), lCommitted.end(), sFound) != lCommitted.end();
            EXPECT_TRUE(bCommitted || sFound == sBefore);
            if (bCommitted)
                hFound.emplace(sFound, state);
        });
    EXPECT_EQ(hFound.size(), std::set<std::string>(lCommitted.begin(), lCommitted.end()).size());
    for (const auto &[sFound, state] : hFound) {
        restore(state);
        auto pStore = openVault("crashed.vault");
        ASSERT_TRUE(sync(*pStore).ok());
        EXPECT_EQ(contentsOf(*pStore), hWant);
        for (auto it = pStore->getNotes().begin(); it.isValid(); ++it)
            EXPECT_FALSE(it.getValue().bChanged);
    }
    std::printf("%s: %zu commits, %d crash states, each a vault the next sync completes\n",
                sName.c_str(), lCommitted.size(), iStates);
}

TEST_F(ClientSync, EveryCommitOfADownloadLeavesAVaultTheNextSyncCompletes) {
    auto pA = syncedVault(6, 300);
    const QByteArray baId = syncIdOf(*pA);
    openVault("b.vault").reset();
    checkEveryCommit("b.vault", Client::DownloadVault, baId, contentsOf(*pA));
}

// The uploads recorded so far, with the changes fetched before them.
TEST_F(ClientSync, EveryCommitOfAnUploadLeavesAVaultTheNextSyncCompletes) {
    auto pA = openVault("a.vault");
    std::vector<Ka::Uuid> lIds;
    for (int i = 0; i < 6; ++i)
        lIds.push_back(addNote(*pA, "note " + std::to_string(i), noise(300)));
    ASSERT_TRUE(sync(*pA).ok());
    auto pB = downloadCopy(*pA, "b.vault");
    ASSERT_TRUE(sync(*pB).ok());
    editNote(*pB, lIds[0], "changed in b");
    ASSERT_TRUE(pB->deleteNote(lIds[1]));
    ASSERT_TRUE(sync(*pB).ok());
    for (size_t i = 2; i < lIds.size(); ++i)
        editNote(*pA, lIds[i], "edit " + std::to_string(i));
    addNote(*pA, "new", "n");
    // A's notes with B's edit and deletion.
    Contents hWant = contentsOf(*pA);
    hWant[support::toStd(lIds[0].toString())].sHtml = "changed in b";
    hWant.erase(support::toStd(lIds[1].toString()));
    pA.reset();
    checkEveryCommit("a.vault", Client::SyncVault, {}, hWant);
}

// Random edits, creations, renames, deletions and syncs (some cut short by
// the server) on two copies of one vault. Afterwards both hold the same
// notes, every text that no user replaced or deleted is still there, and no
// text is in two notes.
TEST_F(ClientSync, RandomRoundsKeepTwoCopiesInStep) {
    std::mt19937 rng(4242);
    auto pA = openVault("a.vault");
    int iToken = 0;
    std::set<std::string> lWritten, lRemoved;
    const auto token = [&] {
        const std::string s = "text " + std::to_string(++iToken);
        lWritten.insert(s);
        return s;
    };
    for (int i = 0; i < 4; ++i)
        addNote(*pA, "note " + std::to_string(i), token());
    ASSERT_TRUE(sync(*pA).ok());
    auto pB = downloadCopy(*pA, "b.vault");
    std::unique_ptr<NoteStore> *aVaults[] = {&pA, &pB};
    const char *aNames[] = {"a.vault", "b.vault"};

    for (int iRound = 0; iRound < 400; ++iRound) {
        const int iVault = int(rng() % 2);
        NoteStore &rStore = **aVaults[iVault];
        const Contents hNotes = contentsOf(rStore);
        auto it = hNotes.begin();
        if (!hNotes.empty())
            std::advance(it, rng() % hNotes.size());
        const Ka::Uuid uPicked =
            hNotes.empty() ? Ka::Uuid() : Ka::Uuid(Ka::String(it->first.c_str()));
        const unsigned iAction = rng() % 10;
        SCOPED_TRACE("round " + std::to_string(iRound));
        if (iAction < 3 && !hNotes.empty()) {
            lRemoved.insert(it->second.sHtml);
            editNote(rStore, uPicked, token());
        } else if (iAction < 4) {
            addNote(rStore, "note " + std::to_string(iToken), token());
        } else if (iAction < 5 && !hNotes.empty()) {
            rStore.renameNote(uPicked, Ka::String(("renamed " + std::to_string(iRound)).c_str()));
        } else if (iAction < 6 && !hNotes.empty()) {
            lRemoved.insert(it->second.sHtml);
            ASSERT_TRUE(rStore.deleteNote(uPicked));
        } else if (iAction < 8) {
            ASSERT_TRUE(sync(rStore).ok());
        } else {
            Faults faults;
            const Faults::Kind aKinds[] = {Faults::Kind::Drop, Faults::Kind::DropMidAnswer,
                                           Faults::Kind::WrongKind};
            faults.eKind = aKinds[rng() % 3];
            faults.iAt = 4 + int(rng() % 10);
            pServer->setFaults(faults);
            sync(rStore, 1);
            pServer->setFaults(Faults());
            // What a cut sync left must open.
            aVaults[iVault]->reset();
            *aVaults[iVault] = openVault(aNames[iVault]);
        }
    }
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(sync(*pA).ok());
        ASSERT_TRUE(sync(*pB).ok());
    }
    const Contents hA = contentsOf(*pA);
    EXPECT_EQ(hA, contentsOf(*pB));
    std::multiset<std::string> lPresent;
    for (const auto &[sId, content] : hA)
        lPresent.insert(content.sHtml);
    for (const std::string &sToken : lWritten) {
        if (!lRemoved.count(sToken)) {
            EXPECT_EQ(lPresent.count(sToken), 1u) << sToken << " was lost";
        }
    }
    for (const std::string &sToken : lPresent)
        EXPECT_EQ(lPresent.count(sToken), 1u) << sToken << " is in two notes";
    for (auto it = pA->getNotes().begin(); it.isValid(); ++it)
        EXPECT_FALSE(it.getValue().bChanged);
}

} // namespace
