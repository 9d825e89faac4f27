// Strings and hash tables of the core library against the standard library.
#include "ratio.h"

#include "ka/hash.h"
#include "ka/string.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <string>
#include <unordered_map>
#include <vector>

namespace {

// Large blocks come from the kernel as fresh pages or from a heap an earlier
// run left warm, which alone can change a time several-fold: every run starts
// from a trimmed heap.
void coldHeap() {
    malloc_trim(0);
}

const char *contiguous(Ka::String &s) {
    return s.getStr();
}
const char *contiguous(std::string &s) {
    return s.c_str();
}

constexpr int kPiece = 16;
const char kBytes[kPiece + 1] = "0123456789abcdef";

// A text of `size` bytes built from 16-byte appends, then read once as one
// contiguous block.
template <typename S>
void BM_Append(benchmark::State &state) {
    const int64_t iSize = state.range(0);
    coldHeap();
    for (auto _ : state) {
        S s;
        for (int64_t i = 0; i < iSize; i += kPiece)
            s.append(kBytes, kPiece);
        benchmark::DoNotOptimize(contiguous(s));
    }
    state.SetBytesProcessed(state.iterations() * iSize);
}

// Each size's pair runs back to back.
BENCHMARK(BM_Append<Ka::String>)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Append<std::string>)->Arg(1 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Append<Ka::String>)->Arg(16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Append<std::string>)->Arg(16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Append<Ka::String>)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Append<std::string>)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

PELIMUND_BENCH_RATIO("String 1 MiB of 16-byte appends", "BM_Append<Ka::String>/1048576",
                     "BM_Append<std::string>/1048576");
PELIMUND_BENCH_RATIO("String 16 MiB of 16-byte appends", "BM_Append<Ka::String>/16777216",
                     "BM_Append<std::string>/16777216");
PELIMUND_BENCH_RATIO("String 64 MiB of 16-byte appends", "BM_Append<Ka::String>/67108864",
                     "BM_Append<std::string>/67108864");

constexpr int kKeys = 100000;

// The same key texts for both tables, in the key type of each.
template <typename S>
const std::vector<S> &keys() {
    static const std::vector<S> lKeys = [] {
        std::vector<S> l;
        for (int i = 0; i < kKeys; ++i) {
            std::string s = "note-" + std::to_string(i * 7919 % 1000003);
            l.emplace_back(s.data(), int(s.size()));
        }
        return l;
    }();
    return lKeys;
}

void put(Ka::Hash<Ka::String, int> &h, const Ka::String &key, int v) {
    h.insert(key, v);
}
void put(std::unordered_map<std::string, int> &h, const std::string &key, int v) {
    h[key] = v;
}
int lookUp(const Ka::Hash<Ka::String, int> &h, const Ka::String &key) {
    return h.get(key);
}
int lookUp(const std::unordered_map<std::string, int> &h, const std::string &key) {
    return h.at(key);
}

template <typename Table, typename S>
void BM_HashInsert(benchmark::State &state) {
    const std::vector<S> &lKeys = keys<S>();
    coldHeap();
    for (auto _ : state) {
        Table h;
        for (int i = 0; i < kKeys; ++i)
            put(h, lKeys[size_t(i)], i);
        benchmark::DoNotOptimize(&h);
    }
    state.SetItemsProcessed(state.iterations() * kKeys);
}

template <typename Table, typename S>
void BM_HashLookup(benchmark::State &state) {
    const std::vector<S> &lKeys = keys<S>();
    Table h;
    for (int i = 0; i < kKeys; ++i)
        put(h, lKeys[size_t(i)], i);
    for (auto _ : state) {
        int64_t iSum = 0;
        for (const S &key : lKeys)
            iSum += lookUp(h, key);
        benchmark::DoNotOptimize(iSum);
    }
    state.SetItemsProcessed(state.iterations() * kKeys);
}

using KaTable = Ka::Hash<Ka::String, int>;
using StdTable = std::unordered_map<std::string, int>;
BENCHMARK(BM_HashInsert<KaTable, Ka::String>)
    ->Name("BM_KaHashInsert")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HashInsert<StdTable, std::string>)
    ->Name("BM_StdHashInsert")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HashLookup<KaTable, Ka::String>)
    ->Name("BM_KaHashLookup")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HashLookup<StdTable, std::string>)
    ->Name("BM_StdHashLookup")
    ->Unit(benchmark::kMillisecond);

PELIMUND_BENCH_RATIO("Hash<String,int> insert 100000 keys", "BM_KaHashInsert", "BM_StdHashInsert");
PELIMUND_BENCH_RATIO("Hash<String,int> lookup 100000 keys", "BM_KaHashLookup", "BM_StdHashLookup");

} // namespace
