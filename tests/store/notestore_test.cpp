// NoteStore operations: round trips through the file, passwords, the note
// table's flags and versions, header values, deletions for the sync server,
// import between vaults, and failures that must leave the vault intact.
#include "store/notestore.h"

#include "ka/exception.h"
#include "ka/random.h"
#include "ka/randombasic.h"
#include "store/stringconv.h"
#include "support/checks.h"
#include "support/child.h"
#include "vaulttest.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

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
    const std::vector<std::string> lWrong{"Secret", "", "secret ", "secre"};
    for (const std::string &sWrong : lWrong) {
        auto failure = failureOf([&] { openVault(vault.sPath, sWrong); });
        EXPECT_EQ(failure.first, "Invalid check code.") << sWrong;
        EXPECT_EQ(failure.second, 0);
    }
    EXPECT_EQ(vault.bytes(), sBefore);
    // The open vault tells the same without its file.
    auto pOpen = openVault(vault.sPath, "secret");
    EXPECT_TRUE(pOpen->hasPassword(kstr("secret")));
    for (const std::string &sWrong : lWrong)
        EXPECT_FALSE(pOpen->hasPassword(kstr(sWrong))) << sWrong;

    // The empty password is a password like any other.
    VaultFile empty;
    openVault(empty.sPath, "");
    EXPECT_NO_THROW(openVault(empty.sPath, ""));
    EXPECT_EQ(messageOf([&] { openVault(empty.sPath, "x"); }), "Invalid check code.");
    EXPECT_TRUE(openVault(empty.sPath, "")->hasPassword(kstr("")));
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
    // The open store holds the lock: what the file says is read from a copy.
    VaultFile copy;
    copy.setBytes(vault.bytes());
    EXPECT_TRUE(openVault(copy.sPath)->hasHeader("remoteUser"));
    pStore->renameNote(id, kstr("m"));
    copy.setBytes(vault.bytes());
    EXPECT_FALSE(openVault(copy.sPath)->hasHeader("remoteUser"));
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

// One store per vault file: a second one, in this process or another, is
// refused with a message the window can show, and writes nothing; it is
// accepted once the first is closed or its process has died.
TEST(NoteStore, OneStorePerVaultFile) {
    VaultFile vault;
    auto pFirst = openVault(vault.sPath);
    pFirst->createNote(newId(), kstr("n"), kstr("html"), content("x").get());
    const std::string sBytes = vault.bytes();
    const auto refusal = failureOf<Ka::FileException>([&] { openVault(vault.sPath); });
    EXPECT_EQ(refusal.first, "The vault is open in another window or program.");
    EXPECT_EQ(refusal.second, EWOULDBLOCK);
    EXPECT_EQ(vault.bytes(), sBytes);
    EXPECT_TRUE(NoteStore::isInUse(kstr(vault.sPath)));
    EXPECT_TRUE(NoteStore::isInUse(kstr(vault.sPath))); // the probe keeps no lock
    pFirst->renameNote(pFirst->getNoteIds().first(), kstr("still mine"));
    pFirst.reset();
    EXPECT_FALSE(NoteStore::isInUse(kstr(vault.sPath)));
    EXPECT_FALSE(NoteStore::isInUse(kstr(vault.sPath + ".missing")));
    EXPECT_EQ(openVault(vault.sPath)->getNoteCount(), 1);

    int aPipe[2];
    ASSERT_EQ(0, ::pipe(aPipe));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The child holds the vault open until it is killed.
        ::close(aPipe[0]);
        try {
            NoteStore held(kstr(vault.sPath), kstr(kPass));
            const char c = 'o';
            if (::write(aPipe[1], &c, 1) == 1)
                for (;;)
                    ::pause();
        } catch (...) {
        }
        ::_exit(1);
    }
    ::close(aPipe[1]);
    char c = 0;
    ASSERT_EQ(1, ::read(aPipe[0], &c, 1));
    ::close(aPipe[0]);
    EXPECT_EQ(messageOf([&] { openVault(vault.sPath); }),
              "The vault is open in another window or program.");
    EXPECT_TRUE(NoteStore::isInUse(kstr(vault.sPath)));
    ::kill(pid, SIGKILL);
    int iStatus = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &iStatus, 0));
    EXPECT_EQ(openVault(vault.sPath)->getNoteCount(), 1);
}

// Nothing but a regular file is opened or probed as a vault, and nothing
// waits: opening a named pipe for reading waits for a writer. In a child
// that an alarm ends, so that a hang fails here.
TEST(NoteStore, OnlyRegularFilesAreOpened) {
    support::TempDir dir;
    const std::string sPipe = dir.getFilePath("pipe.vault");
    const std::string sFolder = dir.getFilePath("folder.vault");
    ASSERT_EQ(0, ::mkfifo(sPipe.c_str(), 0600));
    std::filesystem::create_directory(sFolder);
    const std::map<std::string, std::string> hRefusals = {
        {sPipe, "Not a regular file: " + sPipe},
        {sFolder, "Is a directory: " + sFolder},
        {"/dev/zero", "Not a regular file: /dev/zero"}};
    EXPECT_TRUE(support::passesInChild([&] {
        bool bPassed = true;
        for (const auto &[sPath, sRefusal] : hRefusals)
            bPassed = bPassed && !NoteStore::isInUse(kstr(sPath)) &&
                      messageOf([&] { openVault(sPath); }) == sRefusal;
        return bPassed;
    }));
    EXPECT_FALSE(std::filesystem::exists(sPipe + "-journal"));
    EXPECT_TRUE(std::filesystem::is_fifo(sPipe));
}

// A journal that a failed change left beside the vault at sPath: the disk
// failed every write of the vault once the journal was made.
void leaveJournal(const std::string &sPath) {
    WatchedStore watched(sPath, kPass);
    bool bJournalSynced = false;
    watched.pFiles->setHook([&](const support::FileEvent &rEvent) {
        bJournalSynced |= rEvent.eKind == support::FileEvent::Sync &&
                          rEvent.iFile == support::FileEvent::kJournal;
        if (bJournalSynced && rEvent.iFile == support::FileEvent::kData)
            throw Ka::FileException(EIO, "broken disk");
    });
    EXPECT_THROW(watched.pStore->renameNote(watched.pStore->getNoteIds().first(), kstr("lost")),
                 Ka::ExceptionBase);
}

// A replaced vault takes its journal with it; a journal beside a missing or empty file is never
// played back into the new vault made there.
TEST(NoteStore, ReplacingAVaultTakesItsJournal) {
    VaultFile vault;
    openVault(vault.sPath)->createNote(newId(), kstr("old"), kstr("html"), content("o").get());
    const std::string sOld = vault.bytes();
    const std::string sJournal = vault.sPath + "-journal";
    leaveJournal(vault.sPath);
    ASSERT_TRUE(std::filesystem::exists(sJournal));
    NoteStore::removeVault(kstr(vault.sPath));
    EXPECT_FALSE(std::filesystem::exists(vault.sPath));
    EXPECT_FALSE(std::filesystem::exists(sJournal));
    NoteStore::removeVault(kstr(vault.sPath)); // nothing there: nothing to do

    // The journal alone, as a replace that left it behind would.
    vault.setBytes(sOld);
    leaveJournal(vault.sPath);
    const std::string sLeft = str(support::readFile(sJournal));
    for (bool bEmpty : {false, true}) {
        std::filesystem::remove(vault.sPath);
        if (bEmpty)
            vault.setBytes("");
        support::writeFile(sJournal, kstr(sLeft));
        openVault(vault.sPath)->createNote(newId(), kstr("new"), kstr("html"), content("n").get());
        EXPECT_FALSE(std::filesystem::exists(sJournal));
        auto pNew = openVault(vault.sPath);
        ASSERT_EQ(pNew->getNoteCount(), 1);
        EXPECT_EQ(str(pNew->getNoteName(pNew->getNoteIds().first())), "new");
    }
}

// Runs f as the user iUser (a child that gives up root); true when f
// returned true.
bool asUser(uid_t iUser, const std::function<bool()> &f) {
    return support::passesInChild(
        [&] { return ::setgid(iUser) == 0 && ::setuid(iUser) == 0 && f(); });
}

// A vault that this user cannot open may be held by a store of a user who
// can: it is never removed, and its holder's later writes are kept. The
// other user is a child that gives up root.
TEST(NoteStore, AVaultThisUserCannotReadIsNeverRemoved) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing the user id needs root";
    VaultFile vault;
    // A folder that everyone may write, as a shared one is.
    std::filesystem::permissions(vault.dir.getPath(), std::filesystem::perms::all);
    auto pHolder = openVault(vault.sPath);
    pHolder->createNote(newId(), kstr("before"), kstr("html"), content("b").get());
    EXPECT_TRUE(asUser(65534, [&] {
        const std::string sRefusal =
            std::string(NoteStore::kVaultUnreadable) + " (Permission denied: " + vault.sPath + ").";
        const auto removal =
            failureOf<Ka::FileException>([&] { NoteStore::removeVault(kstr(vault.sPath)); });
        return removal == std::make_pair(sRefusal, EACCES) &&
               messageOf([&] { NoteStore::checkRemovable(kstr(vault.sPath)); }) == sRefusal;
    }));
    ASSERT_TRUE(std::filesystem::exists(vault.sPath));
    pHolder->createNote(newId(), kstr("after"), kstr("html"), content("a").get());
    pHolder.reset();
    EXPECT_EQ(openVault(vault.sPath)->getNoteCount(), 2);
}

// The random prefixes and check words come from the kernel: two vaults made
// the same way, in processes whose generator is in the same state (as every
// process that never seeds it is), share no cipher text.
TEST(NoteStore, TwoStoresMadeAlikeWriteDifferentBytes) {
    const Ka::Uuid id = newId();
    std::vector<std::map<int, std::string>> lStreams;
    for (int iRun = 0; iRun < 2; ++iRun) {
        Ka::Random::setGenerator<Ka::RandomBasic>();
        Ka::Random::seed(1);
        VaultFile vault;
        openVault(vault.sPath)
            ->createNote(id, kstr("same"), kstr("html"), content(std::string(200, 's')).get());
        lStreams.push_back(readContainer(vault.bytes()));
    }
    const std::string &sHeaderA = lStreams[0].at(1), &sHeaderB = lStreams[1].at(1);
    const std::string &sNoteA = lStreams[0].at(2), &sNoteB = lStreams[1].at(2);
    ASSERT_EQ(sNoteA.size(), sNoteB.size());
    // Every cipher block differs: prefix, check words and the text after them.
    for (size_t i = 0; i + 8 <= sNoteA.size(); i += 8)
        EXPECT_NE(sNoteA.substr(i, 8), sNoteB.substr(i, 8)) << i;
    EXPECT_NE(sHeaderA.substr(1, 8), sHeaderB.substr(1, 8));
    EXPECT_NE(sHeaderA.substr(9, 8), sHeaderB.substr(9, 8));
}

// A vault and its journal are private to their owner, whatever the umask;
// the journal lives only while the store is open.
TEST(NoteStore, VaultAndJournalArePrivate) {
    VaultFile vault;
    const mode_t iOld = ::umask(022);
    auto pStore = openVault(vault.sPath);
    ::umask(iOld);
    const auto mode = [](const std::string &sPath) {
        struct stat st;
        return ::stat(sPath.c_str(), &st) == 0 ? st.st_mode & 0777u : 0u;
    };
    EXPECT_EQ(mode(vault.sPath), 0600u);
    EXPECT_EQ(mode(vault.sPath + "-journal"), 0600u);
    pStore.reset();
    EXPECT_FALSE(std::filesystem::exists(vault.sPath + "-journal"));
    EXPECT_EQ(mode(vault.sPath), 0600u);
}

// Every file in the folder and its bytes.
std::map<std::string, std::string> folderBytes(const std::string &sFolder) {
    std::map<std::string, std::string> hFiles;
    for (const auto &entry : std::filesystem::directory_iterator(sFolder))
        hFiles[entry.path().filename()] = str(support::readFile(entry.path()));
    return hFiles;
}

// The vault file deleted, replaced by another vault or moved away while the
// store holds it: every change is refused with the store's text and writes
// nothing anywhere, the notes still load, and a copy saved elsewhere holds
// every note and takes the change.
TEST(NoteStore, ChangesAreRefusedOnceTheVaultFileWent) {
    for (const std::string sHow : {"deleted", "replaced", "moved"}) {
        SCOPED_TRACE(sHow);
        VaultFile vault;
        const std::string sOther = vault.dir.getFilePath("other.vault");
        const std::string sCopy = vault.dir.getFilePath("copy.vault");
        openVault(sOther, "other")
            ->createNote(newId(), kstr("t"), kstr("html"), content("t").get());
        auto pStore = openVault(vault.sPath);
        const Ka::Uuid id = newId();
        pStore->createNote(id, kstr("kept"), kstr("html"), content("kept").get());
        if (sHow == "deleted")
            std::filesystem::remove(vault.sPath);
        else if (sHow == "replaced")
            std::filesystem::rename(sOther, vault.sPath);
        else
            std::filesystem::rename(vault.sPath, sOther);
        const auto hBefore = folderBytes(vault.dir.getPath());
        const std::string sRefusal = NoteStore::kVaultMoved + vault.sPath;
        EXPECT_EQ(failureOf<Ka::FileException>([&] { pStore->saveNote(id, content("x").get()); }),
                  std::make_pair(sRefusal, ESTALE));
        EXPECT_EQ(messageOf([&] { pStore->renameNote(id, kstr("x")); }), sRefusal);
        EXPECT_EQ(messageOf([&] { pStore->setHeader("syncId", new Vrel::String("x")); }), sRefusal);
        EXPECT_FALSE(pStore->deleteNote(id));
        // Its own file, which the store holds, is never replaced by a copy.
        if (sHow == "moved") {
            EXPECT_EQ(messageOf([&] { pStore->saveCopyAs(kstr(sOther)); }), NoteStore::kVaultInUse);
        }
        EXPECT_EQ(folderBytes(vault.dir.getPath()), hBefore);
        EXPECT_EQ(htmlOf(pStore->loadNote(id)), "kept");

        pStore->saveCopyAs(kstr(sCopy))->saveNote(id, content("saved").get());
        pStore.reset();
        struct stat st;
        ASSERT_EQ(::stat(sCopy.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777u, 0600u);
        auto pCopy = openVault(sCopy);
        EXPECT_EQ(pCopy->getNoteCount(), 1);
        EXPECT_EQ(htmlOf(pCopy->loadNote(id)), "saved");
    }
}

// In a child: opens the vault at sPath, lets fOpen act while the store is
// open, then renames the note id and dies with every write of the vault
// made, none of them synced. Only a journal of the store's own puts the
// vault back at the next opening.
void dieInARename(const std::string &sPath, const Ka::Uuid &id,
                  const std::function<void(NoteStore &)> &fOpen) {
    EXPECT_TRUE(support::passesInChild([&] {
        WatchedStore watched(sPath, kPass);
        fOpen(*watched.pStore);
        watched.pFiles->setHook([](const support::FileEvent &rEvent) {
            if (rEvent.eKind == support::FileEvent::Sync &&
                rEvent.iFile == support::FileEvent::kData)
                ::_exit(0);
        });
        watched.pStore->renameNote(id, kstr("cut short"));
        return false;
    }));
}

// A journal another program deleted between two changes is made again at
// its name by the next change, so that a crash in its middle is put right
// when the vault opens again.
TEST(NoteStore, AJournalDeletedBetweenChangesIsMadeAgain) {
    VaultFile vault;
    const Ka::Uuid id = newId();
    openVault(vault.sPath)->createNote(id, kstr("first"), kstr("html"), content("x").get());
    dieInARename(vault.sPath, id, [&](NoteStore &rStore) {
        rStore.renameNote(id, kstr("second"));
        std::filesystem::remove(vault.sPath + "-journal");
    });
    EXPECT_EQ(str(openVault(vault.sPath)->getNoteName(id)), "second");
}

// A journal whose checksum holds and which says that the vault was empty
// before a change: played back, it would empty any vault.
std::string emptyingJournal() {
    std::string sBytes("KaJournl\x01", 9);
    sBytes.resize(28, '\0');
    const uLong iCrc = crc32(0, reinterpret_cast<const Bytef *>(sBytes.data()), 28);
    for (int i = 0; i < 4; ++i)
        sBytes.push_back(char(iCrc >> (8 * i)));
    return sBytes;
}

// What stands at the journal's name before the vault opens, or is renamed
// over its journal while it is open, is never read as a journal, written
// through or left readable by others: a link (to a file holding a valid
// journal, or to nothing) goes, never what it leads to; a file of the
// user's own that others may read is made private before it is written.
// The journal of the next change is the store's own, and is played back
// after a crash.
TEST(NoteStore, OnlyTheStoresOwnJournalIsReadOrWritten) {
    for (const bool bWhileOpen : {false, true}) {
        for (const std::string sWhat : {"link", "link to nothing", "own readable file"}) {
            SCOPED_TRACE(sWhat + (bWhileOpen ? " while open" : " before opening"));
            VaultFile vault;
            const std::string sJournal = vault.sPath + "-journal";
            const std::string sLetter = vault.dir.getFilePath("letter");
            const std::string sPlaced = vault.dir.getFilePath("placed");
            const Ka::Uuid id = newId();
            openVault(vault.sPath)->createNote(id, kstr("first"), kstr("html"), content("x").get());
            if (sWhat == "link")
                support::writeFile(sLetter, kstr(emptyingJournal()));
            if (sWhat == "own readable file") {
                support::writeFile(sPlaced, kstr("a note of the user's own"));
                ::chmod(sPlaced.c_str(), 0644);
            } else {
                std::filesystem::create_symlink(sLetter, sPlaced);
            }
            const auto place = [&] { std::filesystem::rename(sPlaced, sJournal); };
            if (!bWhileOpen)
                place();
            dieInARename(vault.sPath, id, [&](NoteStore &rStore) {
                if (rStore.getNoteCount() != 1)
                    ::_exit(1);
                if (bWhileOpen) {
                    rStore.renameNote(id, kstr("second"));
                    place();
                }
            });
            EXPECT_EQ(std::filesystem::exists(sLetter), sWhat == "link");
            if (sWhat == "link") {
                EXPECT_EQ(str(support::readFile(sLetter)), emptyingJournal());
            }
            struct stat st;
            ASSERT_EQ(::lstat(sJournal.c_str(), &st), 0);
            EXPECT_TRUE(S_ISREG(st.st_mode));
            EXPECT_EQ(st.st_mode & 0777u, 0600u);
            EXPECT_EQ(str(openVault(vault.sPath)->getNoteName(id)),
                      bWhileOpen ? "second" : "first");
            EXPECT_FALSE(std::filesystem::exists(sJournal));
        }
    }
}

// In a folder where everyone may add files and only their owners may remove
// them, another user's valid journal beside a vault is never played back,
// nor written or removed: the vault opens as it is, its changes are refused
// with the store's text, and the file stays as it was. The journal the
// vault's owner leaves is played back, also when another user opens the
// vault.
TEST(NoteStore, AnotherUsersJournalIsNeverPlayedBack) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "acting as two other users needs root";
    const uid_t iOwner = 65534, iOther = 65533;
    support::TempDir dir;
    std::filesystem::permissions(dir.getPath(), std::filesystem::perms(0755));
    const std::string sShared = dir.getFilePath("shared");
    std::filesystem::create_directory(sShared);
    std::filesystem::permissions(sShared, std::filesystem::perms(01777));
    if (!asUser(iOwner, [&] { return ::access(sShared.c_str(), W_OK | X_OK) == 0; }))
        GTEST_SKIP() << "other users cannot reach a folder in " << dir.getPath();
    const std::string sVault = sShared + "/mine.vault", sJournal = sVault + "-journal";
    const Ka::Uuid id = newId();
    ASSERT_TRUE(asUser(iOwner, [&] {
        openVault(sVault)->createNote(id, kstr("kept"), kstr("html"), content("k").get());
        return true;
    }));
    const std::string sVaultBytes = str(support::readFile(sVault));
    ASSERT_TRUE(asUser(iOther, [&] {
        support::writeFile(sJournal, kstr(emptyingJournal()));
        return ::chmod(sJournal.c_str(), 0666) == 0;
    }));
    EXPECT_TRUE(asUser(iOwner, [&] {
        auto pStore = openVault(sVault);
        const bool bAsItWas =
            pStore->getNoteCount() == 1 && str(support::readFile(sVault)) == sVaultBytes;
        const auto refusal =
            failureOf<Ka::FileException>([&] { pStore->renameNote(id, kstr("x")); });
        return bAsItWas &&
               refusal == std::make_pair(NoteStore::kJournalBlocked + sJournal, EEXIST) &&
               htmlOf(pStore->loadNote(id)) == "k" && str(support::readFile(sVault)) == sVaultBytes;
    }));
    EXPECT_EQ(str(support::readFile(sJournal)), emptyingJournal());
    EXPECT_EQ(str(support::readFile(sVault)), sVaultBytes);

    std::filesystem::remove(sJournal);
    EXPECT_TRUE(asUser(iOwner, [&] {
        dieInARename(sVault, id, [](NoteStore &) {});
        return true;
    }));
    EXPECT_EQ(str(openVault(sVault)->getNoteName(id)), "kept");
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
// fetched changes put it; a deletion the server knows of leaves the queue;
// a vault bound to a new remote vault starts at 0.
TEST(NoteStore, UploadedNotesQueuedDeletionsAndANewRemoteVault) {
    VaultFile vault;
    const Ka::Uuid id = newId(), idGone = newId(), idOther = newId();
    auto pStore = openVault(vault.sPath);
    pStore->setHeader("syncId", new Vrel::String("remote-1"));
    for (const Ka::Uuid &each : {id, idGone, idOther})
        pStore->createNote(each, kstr("n"), kstr("html"), content("x").get());
    pStore->setRemoteVersion(3);
    pStore->setNoteSynced(id, 9);
    EXPECT_EQ(pStore->getRemoteVersion(), 3);
    EXPECT_EQ(pStore->getNotes().get(id).iVersion, 9);
    EXPECT_FALSE(pStore->getNotes().get(id).bChanged);
    EXPECT_THROW(pStore->setNoteSynced(newId(), 1), Ka::HashException);

    ASSERT_TRUE(pStore->deleteNote(idGone));
    ASSERT_TRUE(pStore->deleteNote(idOther));
    SignalCount writes(*pStore);
    pStore->unqueueDeletion(id); // not queued: nothing to write
    EXPECT_EQ(writes.n, 0);
    pStore->unqueueDeletion(idGone);
    EXPECT_EQ(writes.n, 1);
    auto *pDeletes = dynamic_cast<Vrel::List *>(pStore->getHeader("deletes"));
    ASSERT_NE(pDeletes, nullptr);
    ASSERT_EQ(pDeletes->size(), 1);
    EXPECT_EQ(*dynamic_cast<Vrel::String *>(pDeletes->at(0)), toByteArray(idOther.getRaw()));

    pStore->resetRemoteVersion();
    EXPECT_EQ(pStore->getRemoteVersion(), 0);
    pStore.reset();
    testing::internal::CaptureStdout(); // the queued deletion
    pStore = openVault(vault.sPath);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(pStore->getRemoteVersion(), 0);
    EXPECT_FALSE(pStore->hasHeader("remoteVersion"));
    EXPECT_EQ(pStore->getNotes().get(id).iVersion, 9);
    EXPECT_EQ(dynamic_cast<Vrel::List *>(pStore->getHeader("deletes"))->size(), 1);
}

// A vault with a synced note, one to delete, a user and a queued deletion,
// for the batch tests.
struct BatchVault {
    VaultFile vault, source;
    const Ka::Uuid idKeep = newId(), idGone = newId(), idNew = newId(), idQueued = newId();
    std::unique_ptr<NoteStore> pStore;
    QByteArray baData, baMeta; // a note made elsewhere, as a download brings it

    BatchVault() {
        auto pSource = openVault(source.sPath);
        pSource->createNote(idNew, kstr("imported"), kstr("html"), content("new").get());
        testing::internal::CaptureStdout();
        baMeta = toByteArray(pSource->getNoteMeta(idNew));
        testing::internal::GetCapturedStdout();
        baData = toByteArray(pSource->getNoteData(idNew));
        pStore = openVault(vault.sPath);
        pStore->setHeader("syncId", new Vrel::String("remote-1"));
        pStore->setHeader("remoteUser", new Vrel::String("ada"));
        pStore->createNote(idKeep, kstr("keep"), kstr("html"), content("keep").get());
        pStore->createNote(idGone, kstr("gone"), kstr("html"), content("gone").get());
        pStore->createNote(idQueued, kstr("queued"), kstr("html"), content("q").get());
        EXPECT_TRUE(pStore->deleteNote(idQueued));
        pStore->setRemoteVersion(2);
    }
    // Every kind of operation, for a batch.
    void changeEverything() {
        testing::internal::CaptureStdout();
        pStore->importNote(idNew, baData, baMeta, 4);
        testing::internal::GetCapturedStdout();
        pStore->saveNote(idKeep, content("saved").get());
        pStore->setNoteSynced(idKeep, 3);
        pStore->renameNote(idKeep, kstr("renamed"));
        EXPECT_TRUE(pStore->deleteNote(idGone));
        pStore->unqueueDeletion(idQueued);
        pStore->removeHeader("remoteUser");
        pStore->setHeader("remotePass", new Vrel::String("secret"));
        pStore->createNote(newId(), kstr("created"), kstr("html"), content("c").get());
        pStore->resetRemoteVersion();
        pStore->setNoteVersion(idNew, 6);
    }
    std::string fileView() const {
        VaultFile copy; // the open store holds the lock
        copy.setBytes(vault.bytes());
        testing::internal::CaptureStdout();
        const std::string sView = viewOf(*openVault(copy.sPath));
        testing::internal::GetCapturedStdout();
        return sView;
    }
};

// Inside a batch every operation changes the store at once and the file
// not at all; the outermost end writes the header once and commits it all.
TEST(NoteStore, ABatchIsCommittedWholeAtItsOutermostEnd) {
    BatchVault v;
    const std::string sBefore = viewOf(*v.pStore);
    const std::string sFile = v.vault.bytes();
    SignalCount writes(*v.pStore);
    v.pStore->beginBatch();
    v.pStore->beginBatch();
    EXPECT_TRUE(v.pStore->isInBatch());
    v.changeEverything();
    v.pStore->endBatch();
    EXPECT_EQ(writes.n, 0);
    EXPECT_EQ(v.vault.bytes(), sFile);
    EXPECT_FALSE(v.pStore->hasHeader("remoteUser"));
    EXPECT_EQ(v.pStore->getRemoteVersion(), 6);
    v.pStore->endBatch();
    EXPECT_FALSE(v.pStore->isInBatch());
    EXPECT_EQ(writes.n, 1);
    const std::string sAfter = viewOf(*v.pStore);
    EXPECT_NE(sAfter, sBefore);
    v.pStore->endBatch(); // unmatched: nothing
    EXPECT_EQ(writes.n, 1);
    EXPECT_EQ(v.fileView(), sAfter);
    // A batch that changed nothing writes nothing.
    {
        NoteStore::Batch idle(*v.pStore);
        idle.end();
    }
    EXPECT_EQ(writes.n, 1);
}

// Leaving a guard's scope by an exception, or closing the store, undoes the
// batch: the store and the file are as before it, and the store goes on.
TEST(NoteStore, AnAbandonedBatchLeavesNoTrace) {
    BatchVault v;
    const std::string sBefore = viewOf(*v.pStore);
    const std::string sFile = v.vault.bytes();
    SignalCount writes(*v.pStore);
    EXPECT_THROW(
        {
            NoteStore::Batch batch(*v.pStore);
            v.changeEverything();
            throw std::runtime_error("the line dropped");
        },
        std::runtime_error);
    EXPECT_FALSE(v.pStore->isInBatch());
    EXPECT_EQ(viewOf(*v.pStore), sBefore);
    EXPECT_EQ(dynamic_cast<Vrel::String *>(v.pStore->getHeader("remoteUser"))->toStdString(),
              "ada");
    EXPECT_EQ(writes.n, 0);
    EXPECT_EQ(v.vault.bytes(), sFile);

    // An inner level abandoned takes the whole batch with it: the outer
    // level is refused until it ends, and its end says so.
    v.pStore->beginBatch();
    v.pStore->renameNote(v.idKeep, kstr("outer"));
    {
        NoteStore::Batch inner(*v.pStore);
        v.pStore->renameNote(v.idKeep, kstr("inner"));
    }
    EXPECT_TRUE(v.pStore->isBatchUndone());
    EXPECT_EQ(str(v.pStore->getNoteName(v.idKeep)), "keep");
    const std::string sUndone = "A change of the batch failed, and the whole batch was undone.";
    EXPECT_EQ(messageOf([&] { v.pStore->renameNote(v.idKeep, kstr("later")); }), sUndone);
    EXPECT_EQ(messageOf([&] { v.pStore->removeHeader("remoteUser"); }), sUndone);
    EXPECT_FALSE(v.pStore->deleteNote(v.idKeep));
    EXPECT_EQ(messageOf([&] { v.pStore->endBatch(); }), sUndone);
    EXPECT_FALSE(v.pStore->isBatchUndone());
    EXPECT_EQ(viewOf(*v.pStore), sBefore);
    EXPECT_EQ(v.vault.bytes(), sFile);

    v.pStore->renameNote(v.idKeep, kstr("after"));
    EXPECT_EQ(writes.n, 1);
    v.pStore->beginBatch();
    v.changeEverything();
    v.pStore.reset();
    v.pStore = openVault(v.vault.sPath);
    EXPECT_EQ(str(v.pStore->getNoteName(v.idKeep)), "after");
    EXPECT_TRUE(v.pStore->getNotes().has(v.idGone));
}

// A header value that cannot be written fails the batch at its end; the
// batch is then undone.
TEST(NoteStore, ABatchWhoseCommitFailsIsUndone) {
    BatchVault v;
    const std::string sBefore = viewOf(*v.pStore);
    const std::string sFile = v.vault.bytes();
    NoteStore::Batch batch(*v.pStore);
    v.changeEverything();
    auto *pBad = new Vrel::List;
    pBad->append(nullptr);
    v.pStore->setHeader("remoteUser", pBad);
    EXPECT_THROW(batch.end(), Ka::ExceptionBase);
    EXPECT_FALSE(v.pStore->isInBatch());
    EXPECT_EQ(viewOf(*v.pStore), sBefore);
    EXPECT_EQ(v.vault.bytes(), sFile);
    v.pStore->renameNote(v.idKeep, kstr("still writable"));
    EXPECT_EQ(v.fileView(), viewOf(*v.pStore));
}

} // namespace
