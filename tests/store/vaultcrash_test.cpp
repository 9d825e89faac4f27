// The vault under crashes: for each kind of operation on a vault of a few
// hundred notes, every state of the vault file and its journal that a
// killed process or a power cut can leave (each prefix of the writes, writes
// since the last sync lost or reordered, the last write torn at a sector
// boundary) opens with its password and holds exactly the vault before the
// operation or exactly the vault after it.
#include "store/notestore.h"

#include "store/stringconv.h"
#include "support/crashstates.h"
#include "vaulttest.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>

namespace {

using namespace vaulttest;
using support::DiskState;

const char *const kPass = "crash test password";
constexpr int kNotes = 300;

// Text that zlib packs only about in half, so that a body of 1 MiB takes
// hundreds of container blocks.
std::string noisyHtml(size_t iBytes, uint32_t iSeed) {
    std::string s = "<p>";
    uint32_t x = iSeed;
    while (s.size() < iBytes) {
        x = x * 1664525u + 1013904223u;
        s += char('a' + (x >> 24) % 26);
        if ((x >> 8) % 9 == 0)
            s += ' ';
    }
    return s + "</p>";
}

// The vault every case starts from: kNotes notes, one of them large, a sync
// id (so that deletions are queued), versions and flags of every kind.
struct BaseVault {
    std::string sBytes;
    std::vector<Ka::Uuid> lIds;
    Ka::Uuid idLarge;

    BaseVault() {
        VaultFile vault;
        auto pStore = std::make_unique<NoteStore>(kstr(vault.sPath), kstr(kPass));
        pStore->setHeader("syncId", new Vrel::String("crash-vault"));
        for (int i = 0; i < kNotes; ++i) {
            const Ka::Uuid id = Ka::Uuid::generate();
            const std::string sHtml =
                i == 7 ? noisyHtml(200000, 7) : "<p>note " + std::to_string(i) + "</p>";
            pStore->createNote(id, kstr("Note " + std::to_string(i)), kstr("html"),
                               content(sHtml).get());
            if (i % 3 == 0)
                pStore->setNoteVersion(id, i);
            if (i % 5 == 0)
                pStore->setNoteChanged(id, false);
            lIds.push_back(id);
        }
        idLarge = lIds[7];
        pStore.reset();
        sBytes = vault.bytes();
    }
};

const BaseVault &baseVault() {
    static const BaseVault base;
    return base;
}

// What a reader can see of a vault: the note table with every note's stored
// bytes, and the header values. Equal views mean equal vaults.
std::string viewOf(NoteStore &rStore) {
    std::map<std::string, std::string> hNotes;
    const Ka::List<Ka::Uuid> lIds = rStore.getNoteIds();
    for (const Ka::Uuid &id : lIds) {
        const NoteStore::Note &rNote = rStore.getNotes().get(id);
        hNotes[str(id.getRaw())] =
            str(rNote.sName) + "|" + str(rNote.sType) + "|" + std::to_string(rNote.iVersion) + "|" +
            std::to_string(rNote.bChanged) + "|" + str(rStore.getNoteData(id));
    }
    std::string sView = std::to_string(rStore.getRemoteVersion()) + "\n";
    for (const char *sKey : {"remoteVersion", "deletes", "syncId", "remoteUser", "remotePass"})
        sView += rStore.hasHeader(sKey) ? vrelBytes(*rStore.getHeader(sKey)) + "\n" : "-\n";
    for (const auto &[sId, sNote] : hNotes)
        sView += sId + sNote + "\n";
    return sView;
}

struct Operation {
    const char *sName;
    std::function<void(NoteStore &, const BaseVault &)> fRun;
};

// Every kind of change the store makes.
const std::vector<Operation> &operations() {
    using B = const BaseVault &;
    static const std::vector<Operation> lOps = {
        {"small save",
         [](NoteStore &r, B b) { r.saveNote(b.lIds[1], content("<p>saved again</p>").get()); }},
        {"1 MiB save",
         [](NoteStore &r, B b) { r.saveNote(b.idLarge, content(noisyHtml(1 << 20, 11)).get()); }},
        {"create",
         [](NoteStore &r, B) {
             r.createNote(Ka::Uuid::generate(), kstr("created"), kstr("html"),
                          content("<p>new</p>").get());
         }},
        {"rename", [](NoteStore &r, B b) { r.renameNote(b.lIds[1], kstr("a new name")); }},
        {"delete",
         [](NoteStore &r, B b) {
             if (!r.deleteNote(b.lIds[2]))
                 throw Ka::ExceptionBase("deleteNote failed");
         }},
        {"import",
         [](NoteStore &r, B b) {
             // A copy of the large note under a new id, as a download brings it.
             testing::internal::CaptureStdout();
             const Ka::String sMeta = r.getNoteMeta(b.idLarge);
             const Ka::String sData = r.getNoteData(b.idLarge);
             r.importNote(Ka::Uuid::generate(), toByteArray(sData), toByteArray(sMeta), 500);
             testing::internal::GetCapturedStdout();
         }},
        {"header change",
         [](NoteStore &r, B) { r.setHeader("remoteUser", new Vrel::String("someone")); }},
        {"version", [](NoteStore &r, B b) { r.setNoteVersion(b.lIds[4], 900); }},
    };
    return lOps;
}

class VaultCrash : public testing::TestWithParam<int> {};

TEST_P(VaultCrash, EveryCrashStateOpensBeforeOrAfter) {
    const Operation op = operations()[size_t(GetParam())];
    const BaseVault &base = baseVault();
    VaultFile vault;
    vault.setBytes(base.sBytes);
    const std::string sBefore =
        viewOf(*std::make_unique<NoteStore>(kstr(vault.sPath), kstr(kPass)));

    std::vector<support::FileEvent> lEvents;
    {
        WatchedStore watched(vault.sPath, kPass);
        watched.pFiles->clearEvents();
        op.fRun(*watched.pStore, base);
        lEvents = watched.pFiles->getEvents();
    }
    ASSERT_FALSE(std::filesystem::exists(vault.sPath + "-journal"));
    const std::string sAfter = viewOf(*std::make_unique<NoteStore>(kstr(vault.sPath), kstr(kPass)));
    ASSERT_NE(sBefore, sAfter);

    std::mt19937 rng(1000 + unsigned(GetParam()));
    VaultFile crashed;
    int iBefore = 0, iAfter = 0, iRecovered = 0;
    const int iStates = support::forEachCrashState(
        DiskState{base.sBytes, std::nullopt}, lEvents, rng, 8, [&](const DiskState &state) {
            crashed.setBytes(state.sData);
            const std::string sJournal = crashed.sPath + "-journal";
            std::filesystem::remove(sJournal);
            if (state.sJournal)
                support::writeFile(sJournal, kstr(*state.sJournal));
            std::string sView;
            testing::internal::CaptureStdout(); // the deletions it lists
            try {
                NoteStore store(kstr(crashed.sPath), kstr(kPass));
                sView = viewOf(store);
            } catch (const std::exception &e) {
                testing::internal::GetCapturedStdout();
                ADD_FAILURE() << op.sName << ": a crash state does not open: " << e.what();
                return;
            }
            testing::internal::GetCapturedStdout();
            iBefore += sView == sBefore;
            iAfter += sView == sAfter;
            iRecovered += crashed.bytes() != state.sData;
            EXPECT_TRUE(sView == sBefore || sView == sAfter) << op.sName;
            EXPECT_FALSE(std::filesystem::exists(sJournal)) << op.sName;
        });
    std::printf("%s: %zu file events, %d crash states checked: %d before, %d after, %d put back "
                "from the journal\n",
                op.sName, lEvents.size(), iStates, iBefore, iAfter, iRecovered);
    RecordProperty("states", iStates);
    EXPECT_GT(iBefore, 0);
    EXPECT_GT(iAfter, 0);
    EXPECT_GT(iRecovered, 0);
}

INSTANTIATE_TEST_SUITE_P(Operations, VaultCrash, testing::Range(0, int(operations().size())),
                         [](const testing::TestParamInfo<int> &info) {
                             std::string s = operations()[size_t(info.param)].sName;
                             for (char &c : s)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return s;
                         });

// A new vault: every state its creation can leave opens with the password
// as a vault without notes (an empty file becomes one again).
TEST(VaultCrash, CreatingAVault) {
    support::TempDir dir;
    const std::string sPath = dir.getFilePath("new.vault");
    support::writeFile(sPath, kstr(""));
    std::vector<support::FileEvent> lEvents;
    {
        WatchedStore watched(sPath, kPass);
        lEvents = watched.pFiles->getEvents();
    }
    std::mt19937 rng(99);
    VaultFile crashed;
    const int iStates = support::forEachCrashState(
        DiskState{"", std::nullopt}, lEvents, rng, 8, [&](const DiskState &state) {
            crashed.setBytes(state.sData);
            const std::string sJournal = crashed.sPath + "-journal";
            std::filesystem::remove(sJournal);
            if (state.sJournal)
                support::writeFile(sJournal, kstr(*state.sJournal));
            try {
                NoteStore store(kstr(crashed.sPath), kstr(kPass));
                EXPECT_EQ(store.getNoteCount(), 0);
            } catch (const std::exception &e) {
                ADD_FAILURE() << "a crash state does not open: " << e.what();
            }
        });
    std::printf("create a vault: %zu file events, %d crash states checked\n", lEvents.size(),
                iStates);
    EXPECT_GT(iStates, 5);
}

} // namespace
