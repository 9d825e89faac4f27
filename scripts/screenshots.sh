#!/usr/bin/env bash
# Redraws the pictures in docs/screenshots/: the main window with two notes,
# each page of the new-vault wizard, each dialog, each page of the About box
# and the new-version dialog downloading, on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
pelimund_install xvfb xauth

build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELIMUND_TESTS=OFF -DPELIMUND_BENCH=OFF
cmake --build "$build" -j"$(pelimund_jobs)" --target screenshots
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1280x800x24" "$build/tools/screenshots" docs/screenshots
