#!/usr/bin/env bash
# Installs what is missing, builds the benchmarks optimised and without
# sanitizers, and runs them. Every benchmark prints ratios against a reference
# measured in the same run. Extra arguments go to each benchmark program
# (for example --benchmark_filter=Blowfish).
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
pelimund_install

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELIMUND_TESTS=OFF -DPELIMUND_BENCH=ON
cmake --build "$build" -j"$(pelimund_jobs)"
for b in "$build"/bench/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b" "$@"
done
