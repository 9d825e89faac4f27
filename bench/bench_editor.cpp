// Speed of the rich-text editor on a 1 MiB note: loading it into the editor
// and taking its content back, against the vault store loading and saving
// the same note (decipher, inflate, parse; serialise, deflate, encipher,
// write and sync), and against Qt's bare text document on the same HTML;
// the same note without font families, to show apart what the editor's
// load-time pass over the families costs; and of reading a note's image or
// imported file, against Qt's own read.
//
// Every benchmark makes its input before its timed loop: Google Benchmark
// reports a first run alone when that run is long enough, and such a run
// should time only what the benchmark names.
#include "ratio.h"

#include "gui/notewidgethtml.h"
#include "gui/readregularfile.h"
#include "store/notestore.h"
#include "vrel/dictionary.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTextDocument>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

constexpr qsizetype kNoteBytes = 1024 * 1024;

// The editor needs a GUI application; the benchmark's entry point is shared
// with the other benchmarks, so the first measurement makes one (offscreen,
// kept to the end of the process).
void ensureApplication() {
    if (QApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char sName[] = "bench_editor";
    static char *argv[] = {sName, nullptr};
    new QApplication(argc, argv);
}

// HTML of about iChars characters: paragraphs with bold, italic, coloured,
// sized and serif spans, lists and small tables; without families the serif
// span is a plain one.
QString bodyHtml(qsizetype iChars, bool bFamilies) {
    const QString sSerif =
        bFamilies ? QStringLiteral("<span style=\"font-family:'DejaVu Serif'\">serif</span>")
                  : QStringLiteral("<span>serif</span>");
    QString sBody;
    uint32_t x = 11;
    for (int i = 0; sBody.size() < iChars; ++i) {
        x = x * 1103515245u + 12345u;
        sBody += QString("<p>Entry %1 has <b>bold %2</b>, <i>italic</i> and "
                         "<span style=\"color:#%3; font-size:%4pt\">coloured</span> and "
                         "%5 words.</p>")
                     .arg(i)
                     .arg(x >> 20)
                     .arg(x & 0xffffff, 6, 16, QChar('0'))
                     .arg(8 + (x >> 28))
                     .arg(sSerif);
        if (i % 20 == 0)
            sBody += "<ul><li>first item</li><li>second <u>item</u></li></ul>";
        if (i % 50 == 0)
            sBody += "<table border=\"1\"><tr><td>a</td><td>b</td></tr>"
                     "<tr><td>c</td><td>d</td></tr></table>";
    }
    return sBody;
}

// Qt writes the document's default family on the body, and its reader hands
// that family down to every span: a note without families must lose it too,
// or the editor's pass over the families would still visit every span.
void removeBodyFamily(QString &rHtml) {
    const qsizetype iBody = rHtml.indexOf("<body style=\"");
    const qsizetype iFamily = rHtml.indexOf(" font-family:", iBody);
    const qsizetype iEnd = rHtml.indexOf(';', iFamily);
    if (iBody < 0 || iFamily < 0 || iEnd < 0 || iEnd > rHtml.indexOf('>', iBody)) {
        std::fprintf(stderr, "bench_editor: no family on the note's body\n");
        std::abort();
    }
    rHtml.remove(iFamily, iEnd + 1 - iFamily);
}

// The editor's own serialisation of such a body, 1 MiB or a little more.
QByteArray makeNoteHtml(bool bFamilies) {
    ensureApplication();
    QTextDocument doc;
    qsizetype iChars = kNoteBytes / 4;
    for (;;) {
        doc.setHtml(bodyHtml(iChars, bFamilies));
        QString sHtml = doc.toHtml();
        if (!bFamilies)
            removeBodyFamily(sHtml);
        const QByteArray ba = sHtml.toUtf8();
        if (ba.size() >= kNoteBytes)
            return ba;
        iChars = iChars * kNoteBytes / ba.size() + 1024;
    }
}

// Made on first use, which takes several parses of the whole note: every
// benchmark asks for its note before its timed loop.
const QByteArray &noteHtml(bool bFamilies = true) {
    if (bFamilies) {
        static const QByteArray baHtml = makeNoteHtml(true);
        return baHtml;
    }
    static const QByteArray baHtml = makeNoteHtml(false);
    return baHtml;
}

// The editor takes the dictionary and deletes it; the bytes are shared, not
// copied.
Vrel::Dictionary *newContent(const QByteArray &baHtml) {
    auto *pContent = new Vrel::Dictionary;
    pContent->insert("data", baHtml);
    return pContent;
}

// A vault holding the note, made once.
struct Vault {
    std::string sPath;
    std::unique_ptr<NoteStore> pStore;
    Ka::Uuid id = Ka::Uuid::generate();
    Vault() {
        const char *pBase = std::getenv("TMPDIR");
        sPath = std::string(pBase && *pBase ? pBase : "/tmp") + "/pelimund-bench-editor-" +
                std::to_string(::getpid()) + ".vault";
        pStore = std::make_unique<NoteStore>(Ka::String(sPath.c_str()), Ka::String("bench"));
        std::unique_ptr<Vrel::Dictionary> pContent(newContent(noteHtml()));
        pStore->createNote(id, "big", "html", pContent.get());
    }
    ~Vault() {
        pStore.reset();
        std::remove(sPath.c_str());
    }
};

Vault &vault() {
    static Vault v;
    return v;
}

// The editor opening the note of baHtml, once per iteration.
void timeEditorOpen(benchmark::State &state, const QByteArray &baHtml) {
    ensureApplication();
    for (auto _ : state) {
        NoteWidgetHtml note(QByteArray(16, 'b'), "big", newContent(baHtml));
        benchmark::DoNotOptimize(note.isModified());
    }
    state.SetBytesProcessed(state.iterations() * baHtml.size());
}

void BM_EditorOpen(benchmark::State &state) {
    timeEditorOpen(state, noteHtml());
}
BENCHMARK(BM_EditorOpen)->Unit(benchmark::kMillisecond);

// The same note with no family in it, neither on a span nor on the body: the
// editor's pass over the families finds nothing to do.
void BM_EditorOpenWithoutFamilies(benchmark::State &state) {
    timeEditorOpen(state, noteHtml(false));
}
BENCHMARK(BM_EditorOpenWithoutFamilies)->Unit(benchmark::kMillisecond);

void BM_EditorGetData(benchmark::State &state) {
    ensureApplication();
    const QByteArray &baHtml = noteHtml();
    NoteWidgetHtml note(QByteArray(16, 'b'), "big", newContent(baHtml));
    for (auto _ : state) {
        std::unique_ptr<Vrel::Object> pData(note.getData());
        benchmark::DoNotOptimize(pData.get());
    }
    state.SetBytesProcessed(state.iterations() * baHtml.size());
}
BENCHMARK(BM_EditorGetData)->Unit(benchmark::kMillisecond);

// Open a note and save it at once: what opening and storing a note costs
// the editor.
void BM_EditorRoundTrip(benchmark::State &state) {
    ensureApplication();
    const QByteArray &baHtml = noteHtml();
    for (auto _ : state) {
        NoteWidgetHtml note(QByteArray(16, 'b'), "big", newContent(baHtml));
        std::unique_ptr<Vrel::Object> pData(note.getData());
        benchmark::DoNotOptimize(pData.get());
    }
}
BENCHMARK(BM_EditorRoundTrip)->Unit(benchmark::kMillisecond);

void BM_StoreLoadNote(benchmark::State &state) {
    Vault &v = vault();
    for (auto _ : state) {
        std::unique_ptr<Vrel::Dictionary> pContent(v.pStore->loadNote(v.id));
        benchmark::DoNotOptimize(pContent.get());
    }
    state.SetBytesProcessed(state.iterations() * noteHtml().size());
}
BENCHMARK(BM_StoreLoadNote)->Unit(benchmark::kMillisecond);

void BM_StoreSaveNote(benchmark::State &state) {
    Vault &v = vault();
    std::unique_ptr<Vrel::Dictionary> pContent(newContent(noteHtml()));
    for (auto _ : state)
        v.pStore->saveNote(v.id, pContent.get());
    state.SetBytesProcessed(state.iterations() * noteHtml().size());
}
BENCHMARK(BM_StoreSaveNote)->Unit(benchmark::kMillisecond);

void BM_StoreRoundTrip(benchmark::State &state) {
    Vault &v = vault();
    for (auto _ : state) {
        std::unique_ptr<Vrel::Dictionary> pContent(v.pStore->loadNote(v.id));
        v.pStore->saveNote(v.id, pContent.get());
    }
}
BENCHMARK(BM_StoreRoundTrip)->Unit(benchmark::kMillisecond);

// Where the editor's time goes: Qt's text document alone, without the edit
// widget, parsing and writing the same HTML.
void timeQtDocumentSetHtml(benchmark::State &state, const QByteArray &baHtml) {
    ensureApplication();
    const QString sHtml = QString::fromUtf8(baHtml);
    for (auto _ : state) {
        QTextDocument doc;
        doc.setHtml(sHtml);
        benchmark::DoNotOptimize(doc.blockCount());
    }
}

void BM_QtDocumentSetHtml(benchmark::State &state) {
    timeQtDocumentSetHtml(state, noteHtml());
}
BENCHMARK(BM_QtDocumentSetHtml)->Unit(benchmark::kMillisecond);

void BM_QtDocumentSetHtmlWithoutFamilies(benchmark::State &state) {
    timeQtDocumentSetHtml(state, noteHtml(false));
}
BENCHMARK(BM_QtDocumentSetHtmlWithoutFamilies)->Unit(benchmark::kMillisecond);

void BM_QtDocumentToHtml(benchmark::State &state) {
    ensureApplication();
    QTextDocument doc;
    doc.setHtml(QString::fromUtf8(noteHtml()));
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.toHtml().toUtf8().size());
}
BENCHMARK(BM_QtDocumentToHtml)->Unit(benchmark::kMillisecond);

// A 32 MiB file, as large as an image a note may show, read to its end.
struct BigFile {
    QString sPath;
    BigFile() {
        const char *pBase = std::getenv("TMPDIR");
        sPath = QString(pBase && *pBase ? pBase : "/tmp") + "/pelimund-bench-read-" +
                QString::number(::getpid());
        QFile file(sPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(32 << 20, 'r')) != 32 << 20)
            std::abort();
    }
    ~BigFile() { QFile::remove(sPath); }
};

const QString &bigFile() {
    static BigFile file;
    return file.sPath;
}

void BM_ReadRegularFile(benchmark::State &state) {
    const QString &sPath = bigFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(readRegularFile(sPath, 64 << 20)->size());
    state.SetBytesProcessed(state.iterations() * (32 << 20));
}
BENCHMARK(BM_ReadRegularFile)->Unit(benchmark::kMillisecond);

void BM_QFileReadAll(benchmark::State &state) {
    const QString &sPath = bigFile();
    for (auto _ : state) {
        QFile file(sPath);
        if (!file.open(QIODevice::ReadOnly))
            std::abort();
        benchmark::DoNotOptimize(file.readAll().size());
    }
    state.SetBytesProcessed(state.iterations() * (32 << 20));
}
BENCHMARK(BM_QFileReadAll)->Unit(benchmark::kMillisecond);

} // namespace

PELIMUND_BENCH_RATIO("read a 32 MiB file to its end vs QFile::readAll", "BM_ReadRegularFile",
                     "BM_QFileReadAll");
PELIMUND_BENCH_RATIO("editor: open a 1 MiB note vs the store loading it", "BM_EditorOpen",
                     "BM_StoreLoadNote");
PELIMUND_BENCH_RATIO("editor: take a 1 MiB note's data vs the store saving it", "BM_EditorGetData",
                     "BM_StoreSaveNote");
PELIMUND_BENCH_RATIO("editor: open+take 1 MiB vs store load+save", "BM_EditorRoundTrip",
                     "BM_StoreRoundTrip");
PELIMUND_BENCH_RATIO("editor: open a 1 MiB note vs Qt's bare document parse", "BM_EditorOpen",
                     "BM_QtDocumentSetHtml");
PELIMUND_BENCH_RATIO("editor: open a 1 MiB note without font families vs Qt's bare document parse",
                     "BM_EditorOpenWithoutFamilies", "BM_QtDocumentSetHtmlWithoutFamilies");
PELIMUND_BENCH_RATIO("editor: take a 1 MiB note's data vs Qt's bare toHtml", "BM_EditorGetData",
                     "BM_QtDocumentToHtml");
