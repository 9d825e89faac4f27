// Speed of the sync client against the local test server: a sync that
// uploads 1,000 changed notes of 10 KiB, against the store reading what the
// upload sends (bodies and meta blobs); and a sync that downloads 1,000 such
// notes into a vault of 5,000, against the store importing the same notes
// itself, in one batch.
#include "bigvault.h"
#include "ratio.h"
#include "store/notestore.h"
#include "store/stringconv.h"
#include "sync/client.h"
#include "syncserver.h"
#include "vrel/vrel.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kNotes = 1000;
constexpr int kBaseNotes = 5000;
constexpr size_t kNoteBytes = 10 * 1024;
const char *const kPassword = "bench password";

using bench::kstr;
using bench::QuietStdout;

// Note text that compresses about as well as written prose.
std::string noteText(std::mt19937 &rng, size_t iBytes) {
    static const char *const aWords[] = {"the ",   "vault ", "keeps ", "notes ", "of ",
                                         "every ", "day, ",  "and ",   "sync ",  "them "};
    std::string s = "<p>";
    while (s.size() < iBytes)
        s += rng() % 4 ? aWords[rng() % 10] : std::to_string(rng() % 100000) + " ";
    s.resize(iBytes);
    return s;
}

void addNotes(NoteStore &rStore, int iCount, size_t iBytes, std::mt19937 &rng) {
    rStore.beginBatch();
    for (int i = 0; i < iCount; ++i) {
        Vrel::Dictionary content;
        content.insert("data", QByteArray::fromStdString(noteText(rng, iBytes)));
        rStore.createNote(Ka::Uuid::generate(), kstr("note " + std::to_string(i)), "html",
                          &content);
    }
    rStore.endBatch();
}

class BenchClient : public Client {
public:
    BenchClient(NoteStore *pStore, int iPort, int iOperation, const QByteArray &baVault = {})
        : Client(pStore, "bench", "bench", iOperation, baVault) {
        setServer(QStringLiteral("127.0.0.1"), iPort);
    }
};

void runClient(NoteStore &rStore, int iPort, int iOperation, const QByteArray &baVault = {}) {
    BenchClient client(&rStore, iPort, iOperation, baVault);
    bool bFailed = false;
    QObject::connect(&client, &Client::error, [&bFailed](const QString &) { bFailed = true; });
    QObject::connect(&client, &Client::badLogin, [&bFailed] { bFailed = true; });
    client.start();
    client.wait();
    if (bFailed) {
        std::fprintf(stderr, "bench_sync: the sync failed\n");
        std::abort();
    }
}

// One server and three vaults, made once: an uploader of kNotes notes; a
// vault of kBaseNotes notes (kept as a snapshot) whose remote vault has
// since received kNotes more from another copy; and those kNotes notes as
// the server holds them, for the store's own import.
struct Setup {
    std::string sDir;
    std::unique_ptr<testserver::SyncServer> pServer;
    std::string sUploader, sBase, sWork;
    std::vector<Ka::Uuid> lNewIds;
    std::vector<QByteArray> lNewData, lNewMeta;

    Setup() {
        const char *pTemp = std::getenv("TMPDIR");
        std::string sTemplate =
            std::string(pTemp && *pTemp ? pTemp : "/tmp") + "/pelimund-bench-sync-XXXXXX";
        sDir = ::mkdtemp(sTemplate.data());
        pServer = std::make_unique<testserver::SyncServer>(sDir + "/server");
        pServer->setUser("bench", "bench");
        sUploader = sDir + "/uploader.vault";
        sBase = sDir + "/base.vault";
        sWork = sDir + "/work.vault";
        QuietStdout quiet;
        std::mt19937 rng(19919);
        {
            NoteStore uploader(kstr(sUploader), kPassword);
            addNotes(uploader, kNotes, kNoteBytes, rng);
            runClient(uploader, pServer->getPort(), Client::SyncVault);
        }
        QByteArray baVault;
        {
            NoteStore base(kstr(sBase), kPassword);
            addNotes(base, kBaseNotes, 1024, rng);
            runClient(base, pServer->getPort(), Client::SyncVault);
            baVault = *dynamic_cast<Vrel::String *>(base.getHeader("syncId"));
        }
        NoteStore other(kstr(sDir + "/other.vault"), kPassword);
        runClient(other, pServer->getPort(), Client::DownloadVault, baVault);
        const NoteStore::NoteTable hOld = other.getNotes();
        addNotes(other, kNotes, kNoteBytes, rng);
        runClient(other, pServer->getPort(), Client::SyncVault);
        for (auto it = other.getNotes().begin(); it.isValid(); ++it) {
            if (hOld.has(it.getKey()))
                continue;
            lNewIds.push_back(it.getKey());
            lNewData.push_back(toByteArray(other.getNoteData(it.getKey())));
            lNewMeta.push_back(toByteArray(other.getNoteMeta(it.getKey())));
        }
    }
    ~Setup() {
        pServer.reset();
        fs::remove_all(sDir);
    }

    // A fresh copy of the vault of kBaseNotes notes.
    std::unique_ptr<NoteStore> openBaseCopy() const {
        fs::copy_file(sBase, sWork, fs::copy_options::overwrite_existing);
        return std::make_unique<NoteStore>(kstr(sWork), kPassword);
    }
};

Setup &setup() {
    static Setup s;
    return s;
}

void BM_SyncUpload1000(benchmark::State &state) {
    Setup &s = setup();
    NoteStore store(kstr(s.sUploader), kPassword);
    const Ka::List<Ka::Uuid> lIds = store.getNoteIds();
    for (auto _ : state) {
        state.PauseTiming();
        store.beginBatch();
        for (auto it = lIds.begin(); it != lIds.end(); ++it)
            store.setNoteChanged(*it, true);
        store.endBatch();
        state.ResumeTiming();
        QuietStdout quiet;
        runClient(store, s.pServer->getPort(), Client::SyncVault);
    }
}
BENCHMARK(BM_SyncUpload1000)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the upload must read from the store: every body and a meta blob.
void BM_StoreReadForUpload1000(benchmark::State &state) {
    Setup &s = setup();
    NoteStore store(kstr(s.sUploader), kPassword);
    const Ka::List<Ka::Uuid> lIds = store.getNoteIds();
    for (auto _ : state) {
        QuietStdout quiet;
        for (auto it = lIds.begin(); it != lIds.end(); ++it) {
            benchmark::DoNotOptimize(store.getNoteData(*it).getSize());
            benchmark::DoNotOptimize(store.getNoteMeta(*it).getSize());
        }
    }
}
BENCHMARK(BM_StoreReadForUpload1000)->Unit(benchmark::kMillisecond)->UseRealTime();
PELIMUND_BENCH_RATIO("sync uploading 1,000 10 KiB notes vs the store reading them",
                     "BM_SyncUpload1000/real_time", "BM_StoreReadForUpload1000/real_time");

// Times fWork on a fresh copy of the base vault in every iteration; the
// copy is made and closed outside the timing, and the work's lines to
// standard output are silenced.
void timeOnBaseCopy(benchmark::State &state, const std::function<void(NoteStore &)> &fWork) {
    Setup &s = setup();
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<NoteStore> pStore = s.openBaseCopy();
        state.ResumeTiming();
        {
            QuietStdout quiet;
            fWork(*pStore);
        }
        state.PauseTiming();
        pStore.reset();
        state.ResumeTiming();
    }
}

void BM_SyncDownload1000Into5000(benchmark::State &state) {
    timeOnBaseCopy(state, [&state](NoteStore &rStore) {
        runClient(rStore, setup().pServer->getPort(), Client::SyncVault);
        if (rStore.getNoteCount() != kBaseNotes + kNotes)
            state.SkipWithError("the download is incomplete");
    });
}
BENCHMARK(BM_SyncDownload1000Into5000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The store importing the same notes itself, with one header write.
void BM_StoreImport1000Into5000(benchmark::State &state) {
    timeOnBaseCopy(state, [](NoteStore &rStore) {
        const Setup &s = setup();
        rStore.beginBatch();
        for (size_t i = 0; i < s.lNewIds.size(); ++i)
            rStore.importNote(s.lNewIds[i], s.lNewData[i], s.lNewMeta[i], int32_t(i + 1));
        rStore.endBatch();
    });
}
BENCHMARK(BM_StoreImport1000Into5000)->Unit(benchmark::kMillisecond)->UseRealTime();
PELIMUND_BENCH_RATIO("sync downloading 1,000 notes into 5,000 vs the store importing them",
                     "BM_SyncDownload1000Into5000/real_time",
                     "BM_StoreImport1000Into5000/real_time");

// Without a batch every import rewrites the header of 5,000 notes: what the
// batch saves, on 100 notes.
void BM_StoreImport100Into5000EachWritten(benchmark::State &state) {
    timeOnBaseCopy(state, [](NoteStore &rStore) {
        const Setup &s = setup();
        for (size_t i = 0; i < 100; ++i)
            rStore.importNote(s.lNewIds[i], s.lNewData[i], s.lNewMeta[i], int32_t(i + 1));
    });
}
BENCHMARK(BM_StoreImport100Into5000EachWritten)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace
