// The formatter and numbered arguments against snprintf writing the same
// texts into a std::string.
#include "ratio.h"

#include "ka/formatproxy.h"
#include "ka/formatter.h"
#include "ka/membuf.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kValues = 10000;

// Both value lists are made on first use: every benchmark asks for its list
// before its timed loop.
const std::vector<int> &integers() {
    static const std::vector<int> l = [] {
        std::vector<int> v;
        unsigned x = 12345;
        for (int i = 0; i < kValues; ++i) {
            x = x * 1103515245u + 12345u;
            v.push_back(int(x) >> (i % 31));
        }
        return v;
    }();
    return l;
}

const std::vector<double> &doubles() {
    static const std::vector<double> l = [] {
        std::vector<double> v;
        for (int i : integers())
            v.push_back(i / 1024.0);
        return v;
    }();
    return l;
}

// Every integer, right-aligned in 12 places, into one text.
void BM_FormatterInts(benchmark::State &state) {
    const std::vector<int> &lValues = integers();
    for (auto _ : state) {
        Ka::MemBuf mb;
        Ka::Formatter f(mb);
        for (int i : lValues)
            f << Ka::FormatSpec().width(12) << i;
        benchmark::DoNotOptimize(mb.getString().getConstStr());
    }
    state.SetItemsProcessed(state.iterations() * kValues);
}

void BM_SnprintfInts(benchmark::State &state) {
    const std::vector<int> &lValues = integers();
    for (auto _ : state) {
        std::string s;
        char sBuf[32];
        for (int i : lValues)
            s.append(sBuf, size_t(std::snprintf(sBuf, sizeof sBuf, "%12d", i)));
        benchmark::DoNotOptimize(s.c_str());
    }
    state.SetItemsProcessed(state.iterations() * kValues);
}

// Every value with nine significant digits.
void BM_FormatterDoubles(benchmark::State &state) {
    const std::vector<double> &lValues = doubles();
    for (auto _ : state) {
        Ka::MemBuf mb;
        Ka::Formatter f(mb);
        for (double d : lValues)
            f << d << ' ';
        benchmark::DoNotOptimize(mb.getString().getConstStr());
    }
    state.SetItemsProcessed(state.iterations() * kValues);
}

void BM_SnprintfDoubles(benchmark::State &state) {
    const std::vector<double> &lValues = doubles();
    for (auto _ : state) {
        std::string s;
        char sBuf[64];
        for (double d : lValues)
            s.append(sBuf, size_t(std::snprintf(sBuf, sizeof sBuf, "%.9g ", d)));
        benchmark::DoNotOptimize(s.c_str());
    }
    state.SetItemsProcessed(state.iterations() * kValues);
}

// One short message with two numbers, as a container stream's location or
// a progress line is made.
void BM_FormatProxy(benchmark::State &state) {
    const Ka::String sFormat("Stream %1 of %2 written.");
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            Ka::String s = sFormat.arg(i).arg(1000);
            benchmark::DoNotOptimize(s.getConstStr());
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}

void BM_SnprintfMessage(benchmark::State &state) {
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            char sBuf[64];
            int n = std::snprintf(sBuf, sizeof sBuf, "Stream %d of %d written.", i, 1000);
            std::string s(sBuf, size_t(n));
            benchmark::DoNotOptimize(s.c_str());
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}

BENCHMARK(BM_FormatterInts);
BENCHMARK(BM_SnprintfInts);
BENCHMARK(BM_FormatterDoubles);
BENCHMARK(BM_SnprintfDoubles);
BENCHMARK(BM_FormatProxy);
BENCHMARK(BM_SnprintfMessage);

PELIMUND_BENCH_RATIO("Formatter 10000 padded ints", "BM_FormatterInts", "BM_SnprintfInts");
PELIMUND_BENCH_RATIO("Formatter 10000 doubles", "BM_FormatterDoubles", "BM_SnprintfDoubles");
PELIMUND_BENCH_RATIO("String::arg message with 2 numbers", "BM_FormatProxy", "BM_SnprintfMessage");

} // namespace
