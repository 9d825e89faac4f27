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
# The pictures show the paths a user would see: the program runs with an
# empty home folder /home/anna, on a file system of its own in a mount
# namespace of its own, so that nothing on this machine's /home is touched.
xvfb-run -a -s "-screen 0 1280x800x24" \
    unshare --user --map-root-user --mount \
    sh -c 'mount -t tmpfs tmpfs /home && mkdir /home/anna && exec "$0" "$@"' \
    "$build/tools/screenshots" docs/screenshots /home/anna
