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

# Fuzz smoke run: each target explores from its seed corpus with a fixed seed and a fixed
# number of runs, so that the same tree always gives the same result. Longer runs by hand:
# FUZZ_RUNS=-1 FUZZ_SECONDS=600 scripts/test.sh
FUZZ_RUNS=${FUZZ_RUNS:-5000}
FUZZ_SECONDS=${FUZZ_SECONDS:-120}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DIOS_FUZZ=ON -DIOS_SANITIZE=ON -DIOS_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$JOBS" --target fuzz_all
for t in $(cat build-fuzz/fuzz/fuzz_targets.txt 2>/dev/null); do
  name=$(basename "$t")
  corpus="$ROOT/fuzz/corpus/$name"
  work="build-fuzz/fuzz/work-$name"
  rm -rf "$work" && mkdir -p "$work"
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  echo "fuzzing $name"
  "$t" -seed=1 -runs="$FUZZ_RUNS" -max_total_time="$FUZZ_SECONDS" -artifact_prefix="$work/" "$work" 2>"build-fuzz/fuzz/$name.log" \
    || { tail -50 "build-fuzz/fuzz/$name.log"; exit 1; }
done
echo "All tests and fuzz runs passed."
