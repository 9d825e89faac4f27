// The container file against plain file writes: 16 MiB written sequentially
// into one container stream, and the same bytes written straight to a file.
#include "ratio.h"

#include "ka/file.h"
#include "ka/tessary.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kTotal = 16 << 20;
constexpr int kPiece = 64 << 10;

// One temporary folder for the whole run, removed at exit.
class TempFolder {
public:
    TempFolder() {
        std::string sTemplate = (std::filesystem::temp_directory_path() / "pelimund-bench-XXXXXX");
        if (!mkdtemp(sTemplate.data()))
            std::abort();
        sPath = sTemplate;
    }
    ~TempFolder() { std::filesystem::remove_all(sPath); }
    Ka::String file(const char *sName) const { return Ka::String((sPath + "/" + sName).c_str()); }

private:
    std::string sPath;
};

const TempFolder &folder() {
    static TempFolder f;
    return f;
}

// Made on first use: every benchmark asks for it before its timed loop.
const std::vector<char> &bytes() {
    static const std::vector<char> a = [] {
        std::vector<char> v(kPiece);
        for (int i = 0; i < kPiece; ++i)
            v[size_t(i)] = char(i * 131 + 7);
        return v;
    }();
    return a;
}

constexpr int kOpen = Ka::File::Read | Ka::File::Write | Ka::File::Create | Ka::File::Truncate;

// A new container with the system's parameters; one stream, written in
// 64 KiB pieces, then synced.
void BM_TessaryWrite(benchmark::State &state) {
    const Ka::String sPath = folder().file("container");
    const char *pBytes = bytes().data();
    for (auto _ : state) {
        Ka::File file(sPath, kOpen);
        Ka::Tessary t(file, 1024, 2);
        Ka::TessaryStream s = t.openStream(t.createStream(0));
        for (int i = 0; i < kTotal; i += kPiece)
            s.write(pBytes, kPiece);
        t.sync();
    }
    state.SetBytesProcessed(state.iterations() * kTotal);
}

void BM_FileWrite(benchmark::State &state) {
    const Ka::String sPath = folder().file("plain");
    const char *pBytes = bytes().data();
    for (auto _ : state) {
        Ka::File file(sPath, kOpen);
        for (int i = 0; i < kTotal; i += kPiece)
            file.write(pBytes, kPiece);
    }
    state.SetBytesProcessed(state.iterations() * kTotal);
}

BENCHMARK(BM_TessaryWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileWrite)->Unit(benchmark::kMillisecond);

PELIMUND_BENCH_RATIO("Tessary 16 MiB sequential stream write", "BM_TessaryWrite", "BM_FileWrite");

} // namespace
