#!/usr/bin/env bash
# Installs what is missing, builds the program (optimised; a second run only
# rebuilds what changed) and starts it, on the vault file given as the first
# argument if there is one.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
pelimund_install

build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELIMUND_TESTS=OFF -DPELIMUND_BENCH=OFF
cmake --build "$build" -j"$(pelimund_jobs)" --target pelimund

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "Pelimund is built but cannot start: there is no display (set DISPLAY or WAYLAND_DISPLAY, or run it under xvfb-run)." >&2
    exit 1
fi
exec "$build/src/pelimund" "$@"
