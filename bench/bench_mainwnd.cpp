// Speed of the main window on a vault of 5,000 notes: opening it and
// listing its notes in the note dock, against the store's own open of the
// same vault; and the note list's rebuild alone, to show where the window
// adds time.
#include "bigvault.h"
#include "gui/mainwnd.h"
#include "gui/settingskeys.h"
#include "gui/vaultmodel.h"
#include "ratio.h"
#include "store/notestore.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdlib>
#include <memory>

namespace {

const char *const kPassword = "bench password";
constexpr int kNotes = 5000;

using bench::BigVault;
using bench::kstr;

// One application for the whole run, on the offscreen platform and with
// settings in a folder of its own, so the user's stay untouched.
QApplication &application() {
    static QTemporaryDir home;
    static int argc = 1;
    static char sName[] = "bench_mainwnd";
    static char *argv[] = {sName, nullptr};
    static QApplication *pApp = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("XDG_CONFIG_HOME", qPrintable(home.path()), 1);
        auto *p = new QApplication(argc, argv);
        QApplication::setOrganizationName("Quorvane");
        QApplication::setApplicationName("Pelimund");
        // A vault used before and no welcome dialog: nothing modal at start;
        // a check for updates just made: no network.
        QSettings settings;
        settings.setValue(SettingsKey::kRecentList, QStringList{"bench.vault"});
        settings.setValue(SettingsKey::kUseWelcomeDlg, false);
        settings.setValue(SettingsKey::kLastUpdateCheck, QDateTime::currentSecsSinceEpoch());
        return p;
    }();
    return *pApp;
}

BigVault &bigVault() {
    static BigVault vault(bench::tempPath("window.vault"), kPassword, kNotes);
    return vault;
}

// The store alone: read the container, derive the key, decipher and inflate
// the header and note table; then close it again.
void BM_StoreOpen5k(benchmark::State &state) {
    BigVault &vault = bigVault();
    for (auto _ : state) {
        NoteStore store(kstr(vault.sPath), kstr(kPassword));
        benchmark::DoNotOptimize(store.getNoteCount());
    }
}
BENCHMARK(BM_StoreOpen5k)->Unit(benchmark::kMillisecond);

// The window: the open command with its password (which also closes the
// vault opened before), the list rebuilt and sorted, and the dock laid out
// and painted once. The vault is opened once before the timing, so that the
// first timed open has a vault to close as every later one has.
void BM_WindowOpen5k(benchmark::State &state) {
    application();
    BigVault &vault = bigVault();
    const QString sPath = QString::fromStdString(vault.sPath);
    MainWnd wnd{QString()};
    wnd.resize(900, 600);
    wnd.show();
    QApplication::processEvents();
    auto *pList = wnd.findChild<QTreeView *>("tvNote");
    if (!wnd.openVault(sPath, kPassword))
        state.SkipWithError("the vault did not open");
    QApplication::processEvents();
    for (auto _ : state) {
        if (!wnd.openVault(sPath, kPassword))
            state.SkipWithError("the vault did not open");
        QApplication::processEvents();
        benchmark::DoNotOptimize(pList->model()->rowCount());
    }
}
BENCHMARK(BM_WindowOpen5k)->Unit(benchmark::kMillisecond);
PELIMUND_BENCH_RATIO("open and list 5,000 notes in the window vs the store's own open",
                     "BM_WindowOpen5k", "BM_StoreOpen5k");

// The part of the window's time that is the note list: rows copied from the
// note table, names decoded and sorted without regard to case. Filled once
// before the timing, as the window's list is, so that every timed rebuild
// replaces a full list.
void BM_ListRebuild5k(benchmark::State &state) {
    application();
    NoteStore store(kstr(bigVault().sPath), kstr(kPassword));
    VaultModel model(nullptr);
    model.setStore(&store);
    for (auto _ : state) {
        model.setStore(&store);
        benchmark::DoNotOptimize(model.rowCount());
    }
}
BENCHMARK(BM_ListRebuild5k)->Unit(benchmark::kMillisecond);
PELIMUND_BENCH_RATIO("rebuild the list of 5,000 notes vs the store's own open", "BM_ListRebuild5k",
                     "BM_StoreOpen5k");

} // namespace
