#!/usr/bin/env bash
# Explores the fuzz targets with libFuzzer for new inputs; run by hand, not by CI.
#
#   scripts/fuzz-explore.sh [TARGET|all] [SECONDS]      (defaults: all, 600 per target)
#
# Each target runs in JOBS processes (-fork) from its seed corpus and its regressions, with
# a per-input time limit (-timeout, FUZZ_TIMEOUT seconds) and a memory limit (-rss_limit_mb,
# FUZZ_RSS_MB). An input that crashes, hangs or runs out of memory is kept in
# fuzz/regressions/<target>/, where the tests replay it from then on: fix the fault and commit
# the file with the fix. What the run found that reaches new code is merged back into
# fuzz/corpus/<target>/ (-merge=1 keeps only inputs that add coverage).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
WHICH=${1:-all}
SECONDS_EACH=${2:-600}
JOBS=${JOBS:-$(nproc)}
FUZZ_TIMEOUT=${FUZZ_TIMEOUT:-10}
FUZZ_RSS_MB=${FUZZ_RSS_MB:-2048}

scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DIOS_FUZZ=ON -DIOS_SANITIZE=ON -DIOS_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$JOBS" --target fuzz_all

found=()
ran=0
for t in $(cat build-fuzz/fuzz/fuzz_targets.txt); do
  name=$(basename "$t")
  [ "$WHICH" = all ] || [ "$WHICH" = "$name" ] || continue
  ran=$((ran + 1))
  corpus="$ROOT/fuzz/corpus/$name"
  regressions="$ROOT/fuzz/regressions/$name"
  work="$ROOT/build-fuzz/explore/$name"
  mkdir -p "$corpus" "$regressions" "$work"
  echo "exploring $name for ${SECONDS_EACH}s"
  # New inputs go to the first folder; the others are only read.
  if ! "$t" -fork="$JOBS" -max_total_time="$SECONDS_EACH" -timeout="$FUZZ_TIMEOUT" \
      -rss_limit_mb="$FUZZ_RSS_MB" -artifact_prefix="$regressions/" \
      "$work" "$corpus" "$regressions" >"$work.log" 2>&1; then
    found+=("$name")
    tail -30 "$work.log"
  fi
  "$t" -merge=1 -timeout="$FUZZ_TIMEOUT" -rss_limit_mb="$FUZZ_RSS_MB" "$corpus" "$work" \
    >>"$work.log" 2>&1 || true
  rmdir "$regressions" 2>/dev/null || true
done
[ "$ran" -gt 0 ] || { echo "no fuzz target named $WHICH" >&2; exit 2; }

if [ ${#found[@]} -gt 0 ]; then
  echo "New failing inputs for: ${found[*]} (in fuzz/regressions/, logs in build-fuzz/explore/)"
  exit 1
fi
echo "Nothing new failed; new coverage merged into fuzz/corpus/."
