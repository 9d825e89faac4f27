// Speed of Ka::Deflate at level 9 against plain zlib on the same HTML-like
// text: compressing through a memory buffer, and decompressing back.
#include "ka/deflate.h"
#include "ka/membuf.h"
#include "ratio.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr int iTextSize = 16 << 20;
constexpr int iPiece = 65536;

// Rich-text notes as the editor stores them: tags with attributes, words
// from a vocabulary, some numbers. Deterministic, so every run sees the
// same bytes.
const std::string &noteText() {
    static const std::string sText = [] {
        static const char *aWords[] = {
            "the",    "vault",   "note",     "password", "and",      "of",      "meeting",
            "Monday", "project", "budget",   "call",     "remember", "to",      "with",
            "garden", "recipe",  "flour",    "sugar",    "train",    "ticket",  "birthday",
            "list",   "draft",   "chapter",  "review",   "is",       "a",       "for",
            "server", "backup",  "Thursday", "colour",   "invoice",  "address", "phone"};
        static const char *aTags[] = {"p", "span", "b", "i", "li", "td", "h2", "a"};
        static const char *aStyles[] = {
            "font-family:'Sans'; font-size:10pt;", "color:#1f3a93;", "font-weight:600;",
            "margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px;",
            "text-decoration: underline;"};
        const int nWords = sizeof(aWords) / sizeof(*aWords);
        std::string s;
        s.reserve(iTextSize + 4096);
        s += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\"><html><head>"
             "<meta name=\"qrichtext\" content=\"1\" /></head><body>\n";
        uint32_t x = 20240601u;
        auto next = [&x] {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            return x;
        };
        while (s.size() < size_t(iTextSize)) {
            const char *sTag = aTags[next() % 8];
            s += "<";
            s += sTag;
            if (next() % 3 == 0) {
                s += " style=\"";
                s += aStyles[next() % 5];
                s += "\"";
            }
            s += ">";
            int nRun = 3 + int(next() % 25);
            for (int i = 0; i < nRun; ++i) {
                uint32_t r = next();
                if (r % 11 == 0)
                    s += std::to_string(r % 100000);
                else
                    s += aWords[(r >> 8) % nWords];
                s += (r % 17 == 0) ? ", " : " ";
            }
            s += "</";
            s += sTag;
            s += ">\n";
        }
        s.resize(iTextSize);
        return s;
    }();
    return sText;
}

const std::string &zlibPacked() {
    static const std::string sPacked = [] {
        const std::string &sText = noteText();
        std::string s(compressBound(uLong(sText.size())), '\0');
        uLongf n = s.size();
        compress2(reinterpret_cast<Bytef *>(s.data()), &n,
                  reinterpret_cast<const Bytef *>(sText.data()), sText.size(), 9);
        s.resize(n);
        return s;
    }();
    return sPacked;
}

void BM_DeflateOurs(benchmark::State &state) {
    const std::string &sText = noteText();
    for (auto _ : state) {
        Ka::MemBuf mb;
        Ka::Deflate d(mb, 9, Ka::Deflate::Zlib | Ka::Deflate::AutoDetect);
        for (size_t i = 0; i < sText.size(); i += iPiece)
            d.write(sText.data() + i, iPiece);
        benchmark::DoNotOptimize(d.stop());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * iTextSize);
}

void BM_DeflateZlib(benchmark::State &state) {
    const std::string &sText = noteText();
    for (auto _ : state) {
        std::vector<Bytef> aOut(compressBound(uLong(sText.size())));
        uLongf n = aOut.size();
        compress2(aOut.data(), &n, reinterpret_cast<const Bytef *>(sText.data()), sText.size(), 9);
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * iTextSize);
}

// zlib with the filter's own settings (memory level 9 where compress2 uses
// 8), to tell the filter's overhead apart from the cost of those settings.
void BM_DeflateZlibLevel9Mem9(benchmark::State &state) {
    const std::string &sText = noteText();
    for (auto _ : state) {
        z_stream z{};
        deflateInit2(&z, 9, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY);
        std::vector<Bytef> aOut(deflateBound(&z, uLong(sText.size())));
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(sText.data()));
        z.avail_in = uInt(sText.size());
        z.next_out = aOut.data();
        z.avail_out = uInt(aOut.size());
        benchmark::DoNotOptimize(deflate(&z, Z_FINISH));
        deflateEnd(&z);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * iTextSize);
}

void BM_InflateOurs(benchmark::State &state) {
    const std::string &sPacked = zlibPacked();
    Ka::String sIn(sPacked.data(), int(sPacked.size()));
    std::vector<char> aBuf(iPiece);
    for (auto _ : state) {
        Ka::MemBuf mb(sIn);
        Ka::Deflate d(mb, 9, Ka::Deflate::Zlib | Ka::Deflate::AutoDetect);
        int64_t nTotal = 0;
        while (!d.isEos())
            nTotal += d.read(aBuf.data(), iPiece);
        benchmark::DoNotOptimize(nTotal);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * iTextSize);
}

void BM_InflateZlib(benchmark::State &state) {
    const std::string &sPacked = zlibPacked();
    for (auto _ : state) {
        std::vector<Bytef> aOut(iTextSize);
        uLongf n = aOut.size();
        uncompress(aOut.data(), &n, reinterpret_cast<const Bytef *>(sPacked.data()),
                   sPacked.size());
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * iTextSize);
}

} // namespace

BENCHMARK(BM_DeflateOurs)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_DeflateZlib)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_DeflateZlibLevel9Mem9)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_InflateOurs)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_InflateZlib)->Unit(benchmark::kMillisecond)->MinTime(1.0);

PELIMUND_BENCH_RATIO("Ka::Deflate level 9, 16 MiB HTML, vs compress2",
                     "BM_DeflateOurs/min_time:3.000", "BM_DeflateZlib/min_time:3.000");
PELIMUND_BENCH_RATIO("Ka::Deflate level 9, vs zlib at memory level 9 too",
                     "BM_DeflateOurs/min_time:3.000", "BM_DeflateZlibLevel9Mem9/min_time:3.000");
PELIMUND_BENCH_RATIO("Ka::Deflate inflate, 16 MiB HTML, vs uncompress",
                     "BM_InflateOurs/min_time:1.000", "BM_InflateZlib/min_time:1.000");
