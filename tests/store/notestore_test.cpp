// NoteStore operations: round trips through the file, passwords, the note
// table's flags and versions, header values, deletions for the sync server,
// import between vaults, and failures that must leave the vault intact.
#include "store/notestore.h"

#include "ka/exception.h"
#include "store/stringconv.h"
#include "support/checks.h"
#include "vaulttest.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using namespace vaulttest;
using support::failureOf;
using support::messageOf;

const char *const kPass = "correct horse";
const std::string kNoKey = "No data assosiated with that key.";

std::unique_ptr<NoteStore> openVault(const std::string &sPath, const std::string &sPass = kPass) {
    return std::make_unique<NoteStore>(kstr(sPath), kstr(sPass));
}

Ka::Uuid newId() {
    return Ka::Uuid::generate();
}

// Counts the store's headerChanged signals.
struct SignalCount {
    int n = 0;
    explicit SignalCount(NoteStore &rStore) {
        QObject::connect(&rStore, &NoteStore::headerChanged, [this] { ++n; });
    }
};

TEST(NoteStore, NewVaultFromMissingOrEmptyFile) {
    VaultFile vault;
    openVault(vault.sPath);
    ASSERT_FALSE(vault.bytes().empty());
    auto pStore = openVault(vault.sPath);
    EXPECT_EQ(pStore->getNoteCount(), 0);
    EXPECT_EQ(pStore->getRemoteVersion(), 0);
    EXPECT_FALSE(pStore->hasHeader("remoteVersion"));
    EXPECT_EQ(pStore->getHeader("syncId"), nullptr);
    EXPECT_EQ(str(pStore->getFileName()), vault.sPath);
    pStore.reset();

    vault.setBytes("");
    openVault(vault.sPath, "other");
    EXPECT_NO_THROW(openVault(vault.sPath, "other"));
}

TEST(NoteStore, NotesRoundTripThroughTheFile) {
    VaultFile vault;
    std::string sLarge;
    for (int i = 0; sLarge.size() < 300000; ++i)
        sLarge += "<p>line " + std::to_string(i * 7919 % 100003) + "</p>\n";
    const std::string sName = "Übersicht – 日本語 ✓";
    const std::string sHtml = "<p>Grüße, ça va? 你好 🙂</p>";
    const Ka::Uuid idEmpty = newId(), idLarge = newId(), idText = newId();
    {
        auto pStore = openVault(vault.sPath);
        pStore->createNote(idEmpty, kstr(""), kstr("html"), content("").get());
        pStore->createNote(idLarge, kstr("large"), kstr("html"), content(sLarge).get());
        pStore->createNote(idText, kstr(sName), kstr("html"), content(sHtml).get());
        const NoteStore::Note &rNote = pStore->getNotes().get(idText);
        EXPECT_EQ(rNote.iVersion, 0);
        EXPECT_TRUE(rNote.bChanged);
        EXPECT_EQ(str(rNote.sType), "html");
    }
    auto pStore = openVault(vault.sPath);
    EXPECT_EQ(pStore->getNoteCount(), 3);
    EXPECT_EQ(pStore->getNoteIds().getSize(), 3);
    EXPECT_EQ(htmlOf(pStore->loadNote(idEmpty)), "");
    EXPECT_EQ(htmlOf(pStore->loadNote(idLarge)), sLarge);
    EXPECT_EQ(htmlOf(pStore->loadNote(idText)), sHtml);
    EXPECT_EQ(str(pStore->getNoteName(idText)), sName);
    EXPECT_EQ(str(pStore->getNoteName(idEmpty)), "");
}

TEST(NoteStore, WrongPasswordsAreRefusedWithoutWriting) {
    VaultFile vault;
    openVault(vault.sPath, "secret")
        ->createNote(newId(), kstr("n"), kstr("html"), content("x").get());
    const std::string sBefore = vault.bytes();
    for (const char *sWrong : {"Secret", "", "secret ", "secre"}) {
        auto failure = failureOf([&] { openVault(vault.sPath, sWrong); });
        EXPECT_EQ(failure.first, "Invalid check code.") << sWrong;
        EXPECT_EQ(failure.second, 0);
    }
    EXPECT_EQ(vault.bytes(), sBefore);

    // The empty password is a password like any other.
    VaultFile empty;
    openVault(empty.sPath, "");
    EXPECT_NO_THROW(openVault(empty.sPath, ""));
    EXPECT_EQ(messageOf([&] { openVault(empty.sPath, "x"); }), "Invalid check code.");
}

TEST(NoteStore, UnknownIdsThrowBeforeChangingAnything) {
    VaultFile vault;
    auto pStore = openVault(vault.sPath);
    const Ka::Uuid id = newId();
    const std::string sBefore = vault.bytes();
    auto pBody = content("x");
    EXPECT_EQ(messageOf<Ka::HashException>([&] { pStore->saveNote(id, pBody.get()); }), kNoKey);
    EXPECT_EQ(messageOf<Ka::HashException>([&] { pStore->renameNote(id, kstr("n")); }), kNoKey);
    EXPECT_EQ(messageOf<Ka::HashException>([&] { pStore->getNoteName(id); }), kNoKey);
    EXPECT_EQ(messageOf<Ka::HashException>([&] { pStore->setNoteChanged(id, true); }), kNoKey);
    EXPECT_EQ(messageOf<Ka::HashException>([&] { pStore->getNoteData(id); }), kNoKey);
    EXPECT_EQ(messageOf<Ka::HashException>([&] { pStore->getNoteMeta(id); }), kNoKey);
    EXPECT_EQ(pStore->loadNote(id), nullptr);
    EXPECT_FALSE(pStore->deleteNote(id));
    EXPECT_EQ(vault.bytes(), sBefore);
    // The raise of the remote version comes before the lookup and survives.
    EXPECT_THROW(pStore->setNoteVersion(id, 9), Ka::HashException);
    EXPECT_EQ(pStore->getRemoteVersion(), 9);
    EXPECT_EQ(pStore->getNoteCount(), 0);
}

TEST(NoteStore, ChangedFlagNameAndVersions) {
    VaultFile vault;
    const Ka::Uuid id = newId();
    {
        auto pStore = openVault(vault.sPath);
        SignalCount writes(*pStore);
        pStore->createNote(id, kstr("first"), kstr("html"), content("a").get());
        pStore->setNoteChanged(id, false);
        EXPECT_FALSE(pStore->getNotes().get(id).bChanged);
        pStore->saveNote(id, content("b").get());
        EXPECT_TRUE(pStore->getNotes().get(id).bChanged);
        pStore->setNoteChanged(id, false);
        pStore->renameNote(id, kstr("second"));
        EXPECT_TRUE(pStore->getNotes().get(id).bChanged);
        pStore->setNoteVersion(id, 4);
        EXPECT_EQ(pStore->getRemoteVersion(), 4);
        pStore->setNoteVersion(id, 2); // the note's own version may go down
        pStore->setRemoteVersion(3);   // the vault's never does
        EXPECT_EQ(pStore->getRemoteVersion(), 4);
        EXPECT_EQ(writes.n, 8);
    }
    auto pStore = openVault(vault.sPath);
    const NoteStore::Note &rNote = pStore->getNotes().get(id);
    EXPECT_EQ(str(rNote.sName), "second");
    EXPECT_EQ(rNote.iVersion, 2);
    EXPECT_TRUE(rNote.bChanged);
    EXPECT_EQ(pStore->getRemoteVersion(), 4);
    auto *pVersion = dynamic_cast<Vrel::Integer *>(pStore->getHeader("remoteVersion"));
    ASSERT_NE(pVersion, nullptr);
    EXPECT_EQ(pVersion->getValue(), 4);
    EXPECT_EQ(htmlOf(pStore->loadNote(id)), "b");
}

TEST(NoteStore, SetRemoteVersionAlwaysWritesTheHeader) {
    VaultFile vault;
    auto pStore = openVault(vault.sPath);
    // A value of another kind under the key is replaced, not trusted.
    pStore->setHeader("remoteVersion", new Vrel::String("7"));
    pStore->setRemoteVersion(5);
    const std::string sAfter5 = vault.bytes();
    pStore->setRemoteVersion(1);
    EXPECT_NE(vault.bytes(), sAfter5);
    EXPECT_EQ(pStore->getRemoteVersion(), 5);
    pStore.reset();
    pStore = openVault(vault.sPath);
    EXPECT_EQ(pStore->getRemoteVersion(), 5);
}

TEST(NoteStore, DeletionsAreQueuedOnlyForSyncedVaults) {
    VaultFile vault;
    const Ka::Uuid idA = newId(), idB = newId(), idC = newId();
    auto pStore = openVault(vault.sPath);
    for (const Ka::Uuid &id : {idA, idB, idC})
        pStore->createNote(id, kstr("n"), kstr("html"), content("x").get());
    EXPECT_TRUE(pStore->deleteNote(idA));
    EXPECT_FALSE(pStore->hasHeader("deletes"));
    EXPECT_FALSE(pStore->deleteNote(idA));

    pStore->setHeader("syncId", new Vrel::String("remote-1"));
    EXPECT_TRUE(pStore->deleteNote(idB));
    EXPECT_TRUE(pStore->deleteNote(idC));
    pStore.reset();

    testing::internal::CaptureStdout();
    pStore = openVault(vault.sPath);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Del: " + str(idB.toString()) + "\nDel: " + str(idC.toString()) + "\n");
    auto *pDeletes = dynamic_cast<Vrel::List *>(pStore->getHeader("deletes"));
    ASSERT_NE(pDeletes, nullptr);
    ASSERT_EQ(pDeletes->size(), 2);
    EXPECT_EQ(*dynamic_cast<Vrel::String *>(pDeletes->at(0)), toByteArray(idB.getRaw()));
    EXPECT_EQ(pStore->getNoteCount(), 0);
}

TEST(NoteStore, RemovedHeaderValuesReachTheFileWithTheNextWrite) {
    VaultFile vault;
    const Ka::Uuid id = newId();
    auto pStore = openVault(vault.sPath);
    pStore->createNote(id, kstr("n"), kstr("html"), content("x").get());
    pStore->setHeader("remoteUser", new Vrel::String("ada"));
    // The caller may hand back the value the store holds.
    pStore->setHeader("remoteUser", pStore->getHeader("remoteUser"));
    const std::string sBefore = vault.bytes();
    pStore->removeHeader("remoteUser");
    pStore->removeHeader("absent");
    EXPECT_FALSE(pStore->hasHeader("remoteUser"));
    EXPECT_EQ(vault.bytes(), sBefore);
    EXPECT_TRUE(openVault(vault.sPath)->hasHeader("remoteUser"));
    pStore->renameNote(id, kstr("m"));
    EXPECT_FALSE(openVault(vault.sPath)->hasHeader("remoteUser"));
}

// Values the typed-value writer refuses end in a Ka exception and leave the
// vault as it was, on disk and in later writes.
TEST(NoteStore, UnwritableValuesLeaveTheVaultIntact) {
    VaultFile vault;
    const Ka::Uuid id = newId();
    auto pStore = openVault(vault.sPath);
    pStore->createNote(id, kstr("n"), kstr("html"), content("kept").get());
    pStore->setHeader("remoteUser", new Vrel::String("ada"));
    const std::string sBefore = vault.bytes();

    Vrel::List badList;
    badList.append(nullptr);
    EXPECT_THROW(pStore->saveNote(id, &badList), Ka::ExceptionBase);
    EXPECT_THROW(pStore->createNote(newId(), kstr("bad"), kstr("html"), &badList),
                 Ka::ExceptionBase);
    auto *pBadHeader = new Vrel::List;
    pBadHeader->append(nullptr);
    EXPECT_THROW(pStore->setHeader("remoteUser", pBadHeader), Ka::ExceptionBase);
    EXPECT_EQ(messageOf([&] { pStore->setHeader("x", nullptr); }),
              "A header value cannot be empty.");
    badList.clear();
    EXPECT_EQ(vault.bytes(), sBefore);

    EXPECT_EQ(pStore->getNoteCount(), 1);
    EXPECT_EQ(dynamic_cast<Vrel::String *>(pStore->getHeader("remoteUser"))->toStdString(), "ada");
    pStore->renameNote(id, kstr("still writable"));
    pStore.reset();
    pStore = openVault(vault.sPath);
    EXPECT_EQ(htmlOf(pStore->loadNote(id)), "kept");
}

TEST(NoteStore, LoadNoteRefusesWhatIsNotADictionary) {
    VaultFile vault;
    auto pStore = openVault(vault.sPath);
    const Ka::Uuid idList = newId(), idNone = newId();
    Vrel::List list;
    pStore->createNote(idList, kstr("l"), kstr("html"), &list);
    pStore->createNote(idNone, kstr("n"), kstr("html"), nullptr);
    EXPECT_EQ(pStore->loadNote(idList), nullptr);
    EXPECT_EQ(pStore->loadNote(idNone), nullptr);
}

TEST(NoteStore, ImportCreatesThenUpdatesARecord) {
    VaultFile source, target;
    const Ka::Uuid id = newId();
    auto pSource = openVault(source.sPath);
    pSource->createNote(id, kstr("Rezept für 4"), kstr("html"), content("<b>one</b>").get());
    testing::internal::CaptureStdout();
    const Ka::String sMeta = pSource->getNoteMeta(id);
    const std::string sOut = testing::internal::GetCapturedStdout();
    EXPECT_EQ(sMeta.getSize() % 8, 0);
    std::string sHex;
    for (unsigned char c : str(sMeta)) {
        sHex += "0123456789abcdef"[c >> 4];
        sHex += "0123456789abcdef"[c & 15];
    }
    EXPECT_EQ(sOut.rfind("Meta(" + str(id.toString()) + ") = '" + sHex + "'\n", 0), 0u);
    EXPECT_NE(sOut.find("'\n  - Passed check\n"), std::string::npos);
    const Ka::String sFirst = pSource->getNoteData(id);

    auto pTarget = openVault(target.sPath);
    testing::internal::CaptureStdout();
    pTarget->importNote(id, toByteArray(sFirst), toByteArray(sMeta), 3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "!--> importNote: created note.\n");
    EXPECT_EQ(htmlOf(pTarget->loadNote(id)), "<b>one</b>");

    pSource->saveNote(id, content("<b>two</b>").get());
    pSource->renameNote(id, kstr("renamed"));
    testing::internal::CaptureStdout();
    pTarget->importNote(id, toByteArray(pSource->getNoteData(id)),
                        toByteArray(pSource->getNoteMeta(id)), 2);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("!--> importNote: updated note.\n"),
              std::string::npos);
    pTarget.reset();

    pTarget = openVault(target.sPath);
    ASSERT_EQ(pTarget->getNoteCount(), 1);
    const NoteStore::Note &rNote = pTarget->getNotes().get(id);
    EXPECT_EQ(rNote.iVersion, 2);
    EXPECT_FALSE(rNote.bChanged);
    EXPECT_EQ(str(rNote.sName), "renamed");
    EXPECT_EQ(str(rNote.sType), "html");
    EXPECT_EQ(pTarget->getRemoteVersion(), 3);
    EXPECT_EQ(str(pTarget->getNoteData(id)), str(pSource->getNoteData(id)));
    EXPECT_EQ(htmlOf(pTarget->loadNote(id)), "<b>two</b>");
}

TEST(NoteStore, ImportIgnoresMetaWithoutADictionary) {
    VaultFile vault;
    auto pStore = openVault(vault.sPath);
    const std::string sBefore = vault.bytes();
    const Ka::Uuid id = newId();
    const QByteArray baData("\1\2\3\4\5\6\7\x08", 8);
    const auto blob = [](const std::string &s) {
        return QByteArray(s.data(), qsizetype(s.size()));
    };
    Vrel::String notDict("name");
    // No object at all, and an object of another kind: nothing changes.
    pStore->importNote(id, baData, blob(oracleSeal(kPass, std::string(1, '\0'))), 5);
    pStore->importNote(id, baData, blob(oracleSeal(kPass, vrelBytes(notDict))), 5);
    // Bytes that do not decompress: the layer's exception.
    EXPECT_THROW(pStore->importNote(id, baData, blob(std::string(64, 'z')), 5), Ka::ExceptionBase);
    // Damaged typed values: a Ka exception too.
    EXPECT_THROW(pStore->importNote(id, baData, blob(oracleSeal(kPass, "\x06\x01")), 5),
                 Ka::ExceptionBase);
    EXPECT_EQ(pStore->getNoteCount(), 0);
    EXPECT_EQ(pStore->getRemoteVersion(), 0);
    EXPECT_EQ(vault.bytes(), sBefore);
}

// Stream 1 is rewritten in place and keeps its size; a note stream is
// replaced whole and shrinks.
TEST(NoteStore, ShrinkingHeaderAndNoteStreams) {
    VaultFile vault;
    auto pStore = openVault(vault.sPath);
    const Ka::Uuid idKeep = newId();
    pStore->createNote(idKeep, kstr("keep"), kstr("html"), content(std::string(5000, 'k')).get());
    Ka::List<Ka::Uuid> lGone;
    for (int i = 0; i < 20; ++i) {
        const Ka::Uuid id = newId();
        pStore->createNote(id, kstr(std::string(100, char('a' + i))), kstr("html"),
                           content("x").get());
        lGone.append(id);
    }
    const size_t iHeaderSize = readContainer(vault.bytes()).at(1).size();
    for (const Ka::Uuid &id : lGone)
        ASSERT_TRUE(pStore->deleteNote(id));
    EXPECT_EQ(readContainer(vault.bytes()).at(1).size(), iHeaderSize);
    const int iLong = pStore->getNoteData(idKeep).getSize();
    pStore->saveNote(idKeep, content("short").get());
    const int iShort = pStore->getNoteData(idKeep).getSize();
    EXPECT_LT(iShort, iLong);
    EXPECT_EQ(iShort % 8, 0);
    pStore.reset();

    pStore = openVault(vault.sPath);
    EXPECT_EQ(pStore->getNoteCount(), 1);
    EXPECT_EQ(htmlOf(pStore->loadNote(idKeep)), "short");
    // Only the header, the table and the kept note remain.
    EXPECT_EQ(readContainer(vault.bytes()).size(), 3u);
}

TEST(NoteStore, CreateOverAnExistingIdFreesTheOldBody) {
    VaultFile vault;
    auto pStore = openVault(vault.sPath);
    const Ka::Uuid id = newId();
    pStore->createNote(id, kstr("old"), kstr("html"), content("old").get());
    pStore->createNote(id, kstr("new"), kstr("html"), content("new").get());
    EXPECT_EQ(pStore->getNoteCount(), 1);
    EXPECT_EQ(readContainer(vault.bytes()).size(), 3u);
    pStore.reset();
    pStore = openVault(vault.sPath);
    EXPECT_EQ(str(pStore->getNoteName(id)), "new");
    EXPECT_EQ(htmlOf(pStore->loadNote(id)), "new");
}

// The sync's bookkeeping: an upload leaves the remote version where the
// fetched changes put it; a vault bound to a new remote vault starts at 0.
TEST(NoteStore, UploadedNotesAndANewRemoteVault) {
    VaultFile vault;
    const Ka::Uuid id = newId();
    auto pStore = openVault(vault.sPath);
    pStore->createNote(id, kstr("n"), kstr("html"), content("x").get());
    pStore->setRemoteVersion(3);
    pStore->setNoteSynced(id, 9);
    EXPECT_EQ(pStore->getRemoteVersion(), 3);
    EXPECT_EQ(pStore->getNotes().get(id).iVersion, 9);
    EXPECT_FALSE(pStore->getNotes().get(id).bChanged);
    EXPECT_THROW(pStore->setNoteSynced(newId(), 1), Ka::HashException);
    pStore->resetRemoteVersion();
    EXPECT_EQ(pStore->getRemoteVersion(), 0);
    pStore.reset();
    pStore = openVault(vault.sPath);
    EXPECT_EQ(pStore->getRemoteVersion(), 0);
    EXPECT_FALSE(pStore->hasHeader("remoteVersion"));
    EXPECT_EQ(pStore->getNotes().get(id).iVersion, 9);
}

// Inside a batch the file keeps its last header (and every body it names)
// until the outermost batch ends with one write.
TEST(NoteStore, BatchesWriteTheHeaderOnceAtTheirEnd) {
    VaultFile vault, source, snapshot;
    const Ka::Uuid idKeep = newId(), idGone = newId(), idNew = newId();
    auto pSource = openVault(source.sPath);
    pSource->createNote(idNew, kstr("imported"), kstr("html"), content("new").get());
    auto pStore = openVault(vault.sPath);
    pStore->createNote(idKeep, kstr("keep"), kstr("html"), content("keep").get());
    pStore->createNote(idGone, kstr("gone"), kstr("html"), content("gone").get());
    pStore->setHeader("syncId", new Vrel::String("remote-1"));
    SignalCount writes(*pStore);

    pStore->beginBatch();
    pStore->beginBatch();
    pStore->importNote(idNew, toByteArray(pSource->getNoteData(idNew)),
                       toByteArray(pSource->getNoteMeta(idNew)), 4);
    pStore->setNoteSynced(idKeep, 2);
    EXPECT_TRUE(pStore->deleteNote(idGone));
    pStore->endBatch();
    EXPECT_EQ(writes.n, 0);
    snapshot.setBytes(vault.bytes());
    {
        auto pBefore = openVault(snapshot.sPath);
        EXPECT_EQ(pBefore->getNoteCount(), 2);
        EXPECT_EQ(htmlOf(pBefore->loadNote(idGone)), "gone");
        EXPECT_TRUE(pBefore->getNotes().get(idKeep).bChanged);
    }
    pStore->endBatch();
    EXPECT_EQ(writes.n, 1);
    pStore->endBatch(); // unmatched: nothing
    EXPECT_EQ(writes.n, 1);
    pStore.reset();

    pStore = openVault(vault.sPath);
    EXPECT_EQ(pStore->getNoteCount(), 2);
    EXPECT_EQ(htmlOf(pStore->loadNote(idNew)), "new");
    EXPECT_EQ(pStore->getNotes().get(idKeep).iVersion, 2);
    EXPECT_FALSE(pStore->getNotes().get(idKeep).bChanged);
    EXPECT_EQ(pStore->getRemoteVersion(), 4);
    ASSERT_NE(pStore->getHeader("deletes"), nullptr);
    // Header, table and the two bodies: the deleted body went after the write.
    EXPECT_EQ(readContainer(vault.bytes()).size(), 4u);
}

// A store destroyed inside a batch still writes what the batch changed.
TEST(NoteStore, AnUnfinishedBatchIsWrittenOnClose) {
    VaultFile vault;
    const Ka::Uuid id = newId();
    auto pStore = openVault(vault.sPath);
    pStore->createNote(id, kstr("n"), kstr("html"), content("x").get());
    pStore->beginBatch();
    pStore->renameNote(id, kstr("renamed"));
    pStore.reset();
    EXPECT_EQ(str(openVault(vault.sPath)->getNoteName(id)), "renamed");
}

} // namespace
