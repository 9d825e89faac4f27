#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one of them.
# Usage: ./fuzz.sh TARGET SECONDS   (./fuzz.sh list shows the targets)
# New inputs go to fuzz/corpus-work/TARGET; a crash is written to
# fuzz/crashes/TARGET/ so that it is kept and replayed by ctest.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
pelimund_install clang libclang-rt-dev

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPELIMUND_FUZZ=ON -DPELIMUND_TESTS=OFF -DPELIMUND_BENCH=OFF
cmake --build "$build" -j"$(pelimund_jobs)"

if [ "${1:-list}" = list ]; then
    ls "$build"/fuzz | sed -n 's/^fuzz_//p'
    exit 0
fi
target=$1
seconds=${2:-60}
bin="$build/fuzz/fuzz_$target"
[ -x "$bin" ] || { echo "no such fuzz target: $target" >&2; exit 2; }
mkdir -p "fuzz/corpus-work/$target" "fuzz/crashes/$target" "fuzz/corpus/$target"
"$bin" -max_total_time="$seconds" -artifact_prefix="fuzz/crashes/$target/" \
    "fuzz/corpus-work/$target" "fuzz/corpus/$target"
