#!/usr/bin/env bash
# The kill test: a worker process runs random vault operations and is killed
# KILLS times (default 600), mostly at a chosen write, some at a random
# moment; after each kill the vault must hold every operation that returned.
# Not part of ctest: it takes minutes. Usage: kill_test.sh [KILLS] [SEED]
set -euo pipefail
cd "$(dirname "$0")/../../.."
build=${PELIMUND_BUILD:-build-test}
[ -d "$build" ] || ./test.sh -R NoSuchTest >/dev/null
cmake --build "$build" --target vault_kill
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
"$build/tests/store/kill/vault_kill" drive "$folder" "${1:-600}" "${2:-$RANDOM}"
