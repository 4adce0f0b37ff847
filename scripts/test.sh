#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and warnings on, and runs every test; then builds the fuzz
# targets with clang and libFuzzer and runs each briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}

scripts/install-deps.sh

cmake -S . -B build-ci -G Ninja -DCMAKE_BUILD_TYPE=Debug -DIOS_SANITIZE=ON >/dev/null
cmake --build build-ci -j "$JOBS"
(cd build-ci && ctest -j "$JOBS" --output-on-failure)

# Fuzz smoke run: each target explores for a few seconds from its seed corpus.
FUZZ_SECONDS=${FUZZ_SECONDS:-20}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DIOS_FUZZ=ON -DIOS_SANITIZE=ON -DIOS_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$JOBS" --target fuzz_all
for t in $(cat build-fuzz/fuzz/fuzz_targets.txt 2>/dev/null); do
  name=$(basename "$t")
  corpus="$ROOT/fuzz/corpus/$name"
  work="build-fuzz/fuzz/work-$name"
  mkdir -p "$work"
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  echo "fuzzing $name for ${FUZZ_SECONDS}s"
  "$t" -max_total_time="$FUZZ_SECONDS" -print_final_stats=0 "$work" 2>"build-fuzz/fuzz/$name.log" \
    || { tail -50 "build-fuzz/fuzz/$name.log"; exit 1; }
done
echo "All tests and fuzz runs passed."
