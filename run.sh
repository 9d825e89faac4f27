#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it, optionally on
# the vault file given as the first argument.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
pelimund_install

build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELIMUND_TESTS=OFF -DPELIMUND_BENCH=OFF
cmake --build "$build" -j"$(pelimund_jobs)"

if [ -x "$build/src/pelimund" ]; then
    exec "$build/src/pelimund" "$@"
fi
echo "Everything is built, but there is no program to start yet: only the libraries exist so far."
