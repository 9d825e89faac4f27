// Speed of the vault store: opening a vault of 10,000 notes against
// deciphering and inflating its header with Crypto++ and zlib; saving one
// 100 KiB note against writing and syncing 100 KiB to a plain file; and
// creating notes one after another, against one small synced write each.
// Each of the three, and a batch of 1,000 imports, also against the same
// store without its journal
// (changes written in place with one sync, as the store did before): what
// atomic, durable changes cost.
#include "bigvault.h"
#include "ka/file.h"
#include "oracle.h"
#include "ratio.h"
#include "store/notestore.h"
#include "store/stringconv.h"
#include "vrel/vrel.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

const char *const kPassword = "bench password";
constexpr int kNotes = 10000;

// Blowfish-CFB under the vault key and initial vector of kPassword.
std::string cfb(const std::string &sIn, bool bEncrypt) {
    const std::string sKey = oracle::vaultKey(kPassword);
    return oracle::cfb(sKey, oracle::vaultIv(sKey), sIn, bEncrypt);
}

using bench::BigVault;
using bench::kstr;
using bench::QuietStdout;
using bench::tempPath;

BigVault &bigVault() {
    static BigVault vault(tempPath("big.vault"), kPassword, kNotes);
    return vault;
}

// The store with its journal, or over files that give none.
class BenchStore : public NoteStore {
public:
    BenchStore(const std::string &sPath, bool bJournal)
        : NoteStore(kstr(sPath), kPassword, bJournal ? FilesLayer() : FilesLayer(withoutJournal)) {}

private:
    class NoJournal : public Files {
    public:
        explicit NoJournal(std::unique_ptr<Files> pDisk) : pDisk(std::move(pDisk)) {}
        Ka::Stream &data() override { return pDisk->data(); }
        void syncData() override { pDisk->syncData(); }
        Ka::Stream *journal(bool) override { return nullptr; }
        void syncJournal() override {}
        void removeJournal() override {}

    private:
        std::unique_ptr<Files> pDisk;
    };
    static std::unique_ptr<Files> withoutJournal(std::unique_ptr<Files> pDisk) {
        return std::make_unique<NoJournal>(std::move(pDisk));
    }
};

std::unique_ptr<Vrel::Dictionary> content(size_t iBytes) {
    std::string s;
    uint32_t x = 7;
    while (s.size() < iBytes) {
        x = x * 1103515245u + 12345u;
        s += "<p>entry " + std::to_string(x >> 12) + " of the list</p>\n";
    }
    s.resize(iBytes);
    auto pDict = std::make_unique<Vrel::Dictionary>();
    pDict->insert("data", QByteArray(s.data(), qsizetype(s.size())));
    return pDict;
}

void openVault10k(benchmark::State &state, bool bJournal) {
    BigVault &vault = bigVault();
    for (auto _ : state) {
        BenchStore store(vault.sPath, bJournal);
        benchmark::DoNotOptimize(store.getNoteCount());
    }
}
void BM_OpenVault10k(benchmark::State &state) {
    openVault10k(state, true);
}
void BM_OpenVault10kNoJournal(benchmark::State &state) {
    openVault10k(state, false);
}
BENCHMARK(BM_OpenVault10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenVault10kNoJournal)->Unit(benchmark::kMillisecond);
PELIMUND_BENCH_RATIO("open a vault of 10,000 notes, journaled vs in place", "BM_OpenVault10k",
                     "BM_OpenVault10kNoJournal");

// What opening must do at least: decipher stream 1 and inflate the header.
void BM_OpenVault10kReference(benchmark::State &state) {
    const std::string &sStream = bigVault().sHeaderStream;
    for (auto _ : state) {
        const std::string sInner = cfb(sStream.substr(1), false);
        benchmark::DoNotOptimize(oracle::inflate(sInner.substr(17)).size());
    }
}
BENCHMARK(BM_OpenVault10kReference)->Unit(benchmark::kMillisecond);
PELIMUND_BENCH_RATIO("open a vault of 10,000 notes vs decipher+inflate its header",
                     "BM_OpenVault10k", "BM_OpenVault10kReference");

void saveNote100KiB(benchmark::State &state, bool bJournal) {
    BigVault &vault = bigVault();
    BenchStore store(vault.sPath, bJournal);
    auto pContent = content(100 * 1024);
    for (auto _ : state)
        store.saveNote(vault.idFirst, pContent.get());
}
void BM_SaveNote100KiB(benchmark::State &state) {
    saveNote100KiB(state, true);
}
void BM_SaveNote100KiBNoJournal(benchmark::State &state) {
    saveNote100KiB(state, false);
}
BENCHMARK(BM_SaveNote100KiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveNote100KiBNoJournal)->Unit(benchmark::kMillisecond);
PELIMUND_BENCH_RATIO("save a 100 KiB note in 10,000, journaled vs in place", "BM_SaveNote100KiB",
                     "BM_SaveNote100KiBNoJournal");

// The same header write without the note: what saving the note adds.
void BM_RenameNoteIn10k(benchmark::State &state) {
    BigVault &vault = bigVault();
    NoteStore store(kstr(vault.sPath), kPassword);
    for (auto _ : state)
        store.renameNote(vault.idFirst, "renamed");
}
BENCHMARK(BM_RenameNoteIn10k)->Unit(benchmark::kMillisecond);

// Writes iBytes to a plain file and makes them durable, iCount times.
void writeAndSync(const std::string &sPath, int iBytes, int iCount) {
    const std::string sData(size_t(iBytes), 'x');
    Ka::File file(kstr(sPath), Ka::File::Read | Ka::File::Write | Ka::File::Create);
    for (int i = 0; i < iCount; ++i) {
        file.setPos(0);
        file.write(sData.data(), iBytes);
        file.sync();
    }
}

void BM_PlainWriteSync100KiB(benchmark::State &state) {
    const std::string sPath = tempPath("plain.bin");
    for (auto _ : state)
        writeAndSync(sPath, 100 * 1024, 1);
    std::remove(sPath.c_str());
}
BENCHMARK(BM_PlainWriteSync100KiB)->Unit(benchmark::kMillisecond);
PELIMUND_BENCH_RATIO("save a 100 KiB note in 10,000 vs write+fdatasync 100 KiB",
                     "BM_SaveNote100KiB", "BM_PlainWriteSync100KiB");

// A download's commit: 1,000 notes of 4 KiB imported in one batch into a
// copy of the vault of 10,000 notes.
void importBatch(benchmark::State &state, bool bJournal) {
    BigVault &vault = bigVault();
    const std::string sSource = tempPath("source.vault"), sWork = tempPath("work.vault");
    QByteArray baData, baMeta;
    {
        std::remove(sSource.c_str());
        NoteStore source(kstr(sSource), kPassword);
        source.createNote(vault.idFirst, "imported", "html", content(4096).get());
        QuietStdout quiet;
        baMeta = toByteArray(source.getNoteMeta(vault.idFirst));
        baData = toByteArray(source.getNoteData(vault.idFirst));
    }
    std::remove(sSource.c_str());
    std::vector<Ka::Uuid> lIds;
    for (int i = 0; i < 1000; ++i)
        lIds.push_back(Ka::Uuid::generate());
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::copy_file(vault.sPath, sWork,
                                   std::filesystem::copy_options::overwrite_existing);
        auto pStore = std::make_unique<BenchStore>(sWork, bJournal);
        state.ResumeTiming();
        {
            QuietStdout quiet;
            NoteStore::Batch batch(*pStore);
            for (size_t i = 0; i < lIds.size(); ++i)
                pStore->importNote(lIds[i], baData, baMeta, int32_t(i + 1));
            batch.end();
        }
        state.PauseTiming();
        pStore.reset();
        state.ResumeTiming();
    }
    std::remove(sWork.c_str());
}
void BM_ImportBatch1000Into10k(benchmark::State &state) {
    importBatch(state, true);
}
void BM_ImportBatch1000Into10kNoJournal(benchmark::State &state) {
    importBatch(state, false);
}
BENCHMARK(BM_ImportBatch1000Into10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportBatch1000Into10kNoJournal)->Unit(benchmark::kMillisecond);
PELIMUND_BENCH_RATIO("import 1000 notes in one batch into 10,000, journaled vs in place",
                     "BM_ImportBatch1000Into10k", "BM_ImportBatch1000Into10kNoJournal");

// Creating notes one after another into a new vault; every note rewrites
// the header, which holds every note created before it.
void createNotes(benchmark::State &state, bool bJournal) {
    const int iCount = int(state.range(0));
    const std::string sPath = tempPath("create.vault");
    auto pContent = content(1000);
    for (auto _ : state) {
        state.PauseTiming();
        std::remove(sPath.c_str());
        state.ResumeTiming();
        BenchStore store(sPath, bJournal);
        for (int i = 0; i < iCount; ++i)
            store.createNote(Ka::Uuid::generate(), kstr("Note " + std::to_string(i)), "html",
                             pContent.get());
    }
    std::remove(sPath.c_str());
    state.counters["per_note_ms"] =
        benchmark::Counter(double(iCount), benchmark::Counter::kIsIterationInvariantRate |
                                               benchmark::Counter::kInvert);
}
void BM_CreateNotes(benchmark::State &state) {
    createNotes(state, true);
}
void BM_CreateNotesNoJournal(benchmark::State &state) {
    createNotes(state, false);
}
BENCHMARK(BM_CreateNotes)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateNotesNoJournal)->Arg(1000)->Unit(benchmark::kMillisecond);
PELIMUND_BENCH_RATIO("create 1000 notes one by one, journaled vs in place", "BM_CreateNotes/1000",
                     "BM_CreateNotesNoJournal/1000");

// One durable small write per note: the least a note creation costs.
void BM_CreateNotesReference(benchmark::State &state) {
    const int iCount = int(state.range(0));
    const std::string sPath = tempPath("plain-small.bin");
    for (auto _ : state)
        writeAndSync(sPath, 1024, iCount);
    std::remove(sPath.c_str());
}
BENCHMARK(BM_CreateNotesReference)->Arg(250)->Arg(500)->Arg(1000)->Unit(benchmark::kMillisecond);
PELIMUND_BENCH_RATIO("create 250 notes vs 250 synced 1 KiB writes", "BM_CreateNotes/250",
                     "BM_CreateNotesReference/250");
PELIMUND_BENCH_RATIO("create 500 notes vs 500 synced 1 KiB writes", "BM_CreateNotes/500",
                     "BM_CreateNotesReference/500");
PELIMUND_BENCH_RATIO("create 1000 notes vs 1000 synced 1 KiB writes", "BM_CreateNotes/1000",
                     "BM_CreateNotesReference/1000");

} // namespace
