#!/usr/bin/env bash
# Installs what is missing, builds the sanitizer test configuration and runs
# every test through ctest. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
pelimund_install

build=build-test
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug \
    -DPELIMUND_SANITIZE=ON \
    -DPELIMUND_BENCH=ON
cmake --build "$build" -j"$(pelimund_jobs)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure -j"$(pelimund_jobs)" "$@"
