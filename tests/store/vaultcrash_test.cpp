// The vault under crashes: for each kind of operation on a vault of a few
// hundred notes, and for batches of them, every state of the vault file and
// its journal that a killed process or a power cut can leave (each prefix of
// the writes, writes since the last sync lost or reordered, the last write
// torn at a sector boundary) opens with its password and holds exactly the
// vault before the operation, or exactly the vault one of its commits left.
#include "store/notestore.h"

#include "store/stringconv.h"
#include "support/crashstates.h"
#include "vaulttest.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// Imports copies of iCount notes from the iFirst-th on, under new ids.
void importCopies(NoteStore &rStore, const BaseVault &rBase, size_t iFirst, size_t iCount) {
    testing::internal::CaptureStdout();
    for (size_t i = iFirst; i < iFirst + iCount; ++i) {
        const Ka::String sMeta = rStore.getNoteMeta(rBase.lIds[i]);
        rStore.importNote(Ka::Uuid::generate(), toByteArray(rStore.getNoteData(rBase.lIds[i])),
                          toByteArray(sMeta), 600 + int32_t(i));
    }
    testing::internal::GetCapturedStdout();
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
        // As a download brings notes: copies of 40 notes under new ids, one
        // commit.
        {"batched import",
         [](NoteStore &r, B b) {
             NoteStore::Batch batch(r);
             importCopies(r, b, 0, 40);
             batch.end();
         }},
        // As an upload records its answers: every changed note synced, one
        // commit.
        {"batched upload marks",
         [](NoteStore &r, B b) {
             NoteStore::Batch batch(r);
             for (size_t i = 0; i < b.lIds.size(); ++i)
                 if (r.getNotes().get(b.lIds[i]).bChanged)
                     r.setNoteSynced(b.lIds[i], 1000 + int32_t(i));
             batch.end();
         }},
        // A download in three commits, each leaving the remote version at 0.
        {"import in three batches",
         [](NoteStore &r, B b) {
             for (int iBatch = 0; iBatch < 3; ++iBatch) {
                 NoteStore::Batch batch(r);
                 importCopies(r, b, size_t(iBatch) * 10, 10);
                 r.resetRemoteVersion();
                 batch.end();
             }
         }},
    };
    return lOps;
}

class VaultCrash : public testing::TestWithParam<int> {};

TEST_P(VaultCrash, EveryCrashStateOpensAsACommittedState) {
    const Operation op = operations()[size_t(GetParam())];
    const BaseVault &base = baseVault();
    VaultFile vault;
    vault.setBytes(base.sBytes);
    const std::string sBefore =
        viewOf(*std::make_unique<NoteStore>(kstr(vault.sPath), kstr(kPass)));

    std::vector<support::FileEvent> lEvents;
    // The vault as each commit left it, in order.
    std::vector<std::string> lCommitted;
    {
        WatchedStore watched(vault.sPath, kPass);
        watched.pFiles->clearEvents();
        QObject::connect(watched.pStore.get(), &NoteStore::headerChanged,
                         [&] { lCommitted.push_back(viewOf(*watched.pStore)); });
        op.fRun(*watched.pStore, base);
        lEvents = watched.pFiles->getEvents();
    }
    ASSERT_FALSE(std::filesystem::exists(vault.sPath + "-journal"));
    const std::string sAfter = viewOf(*std::make_unique<NoteStore>(kstr(vault.sPath), kstr(kPass)));
    ASSERT_FALSE(lCommitted.empty());
    ASSERT_EQ(lCommitted.back(), sAfter);
    ASSERT_NE(sBefore, sAfter);

    std::mt19937 rng(1000 + unsigned(GetParam()));
    VaultFile crashed;
    int iBefore = 0, iAfter = 0, iBetween = 0, iRecovered = 0;
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
            const bool bCommitted =
                std::find(lCommitted.begin(), lCommitted.end(), sView) != lCommitted.end();
            iBefore += sView == sBefore;
            iAfter += sView == sAfter;
            iBetween += bCommitted && sView != sAfter;
            iRecovered += crashed.bytes() != state.sData;
            EXPECT_TRUE(sView == sBefore || bCommitted) << op.sName;
            EXPECT_FALSE(std::filesystem::exists(sJournal)) << op.sName;
        });
    std::printf("%s: %zu commits, %zu file events, %d crash states checked: %d before, %d "
                "between, %d after, %d put back from the journal\n",
                op.sName, lCommitted.size(), lEvents.size(), iStates, iBefore, iBetween, iAfter,
                iRecovered);
    RecordProperty("states", iStates);
    EXPECT_GT(iBefore, 0);
    EXPECT_GT(iAfter, 0);
    EXPECT_GT(iRecovered, 0);
    // Every commit in between is a state a crash leaves too.
    EXPECT_EQ(iBetween > 0, lCommitted.size() > 1);
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
