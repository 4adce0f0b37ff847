#!/usr/bin/env bash
# Explores the fuzz targets with libFuzzer for new inputs; run by hand, not by CI.
#
#   scripts/fuzz-explore.sh [TARGET|all] [SECONDS]      (defaults: all, 600 per target)
#
# Each target runs in JOBS processes (-fork) from its seed corpus and its regressions, with
# a per-input time limit (-timeout, FUZZ_TIMEOUT seconds) and a memory limit (-rss_limit_mb,
# FUZZ_RSS_MB). An input that crashes, hangs or runs out of memory is kept in
# fuzz/regressions/<target>/ and ends that target's run as a failure; the tests replay it from
# then on: fix the fault and commit the file with the fix. What the run found that reaches new
# code is merged back into fuzz/corpus/<target>/ (-merge=1 keeps only inputs that add
# coverage), within the limits the test replay holds every input to.
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

# shellcheck source=/dev/null
. build-fuzz/fuzz/replay_limits.sh

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
  kept=$(find "$regressions" -type f | wc -l)
  # New inputs go to the first folder; the others are only read. In -fork mode libFuzzer
  # by default goes on past hangs and out-of-memory inputs and exits 0: here they end the run
  # as crashes do. A seed that fails libFuzzer's first pass is kept, but leaves the exit
  # status 0 all the same, so any input kept counts as a failure.
  status=0
  "$t" -fork="$JOBS" -ignore_crashes=0 -ignore_timeouts=0 -ignore_ooms=0 \
    -max_total_time="$SECONDS_EACH" -timeout="$FUZZ_TIMEOUT" \
    -rss_limit_mb="$FUZZ_RSS_MB" -artifact_prefix="$regressions/" \
    "$work" "$corpus" "$regressions" >"$work.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ] || [ "$(find "$regressions" -type f | wc -l)" -ne "$kept" ]; then
    found+=("$name")
    tail -30 "$work.log"
  fi
  # Inputs past the replay's limits are left out of the seeds (libFuzzer skips them).
  "$t" -merge=1 -timeout="$REPLAY_TIMEOUT" -rss_limit_mb="$REPLAY_RSS_MB" -artifact_prefix="$work.merge-" "$corpus" "$work" \
    >>"$work.log" 2>&1 || true
  rmdir "$regressions" 2>/dev/null || true
done
[ "$ran" -gt 0 ] || { echo "no fuzz target named $WHICH" >&2; exit 2; }

if [ ${#found[@]} -gt 0 ]; then
  echo "New failing inputs for: ${found[*]} (in fuzz/regressions/, logs in build-fuzz/explore/)"
  exit 1
fi
echo "Nothing new failed; new coverage merged into fuzz/corpus/."
