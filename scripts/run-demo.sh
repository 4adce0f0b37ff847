#!/usr/bin/env bash
# Installs what is missing, builds the program, lays the demo workspace (database, settings,
# emulated reader with a few keys) and starts the program in it.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
scripts/install-deps.sh
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DIOS_BUILD_TESTS=OFF -DIOS_BUILD_BENCH=OFF >/dev/null
cmake --build build-demo -j "$(nproc)" --target iostrivane make-demo-workspace supplied_db locksim_tool
WS=${IOS_WORKSPACE:-$ROOT/demo-workspace}
"$ROOT/build-demo/src/app/make-demo-workspace" "$WS"
cd "$WS"
exec "$ROOT/build-demo/src/app/iostrivane" "$@"
