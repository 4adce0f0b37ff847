#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and warnings on, and runs every test. The tests include each
# fuzz target replayed over its seed corpus (fuzz/corpus/<target>/) and over every input that
# ever crashed or hung it (fuzz/regressions/<target>/), so the same tree always gives the same
# answer. Exploring for new inputs is scripts/fuzz-explore.sh, run by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}

scripts/install-deps.sh

cmake -S . -B build-ci -G Ninja -DCMAKE_BUILD_TYPE=Debug -DIOS_SANITIZE=ON >/dev/null
cmake --build build-ci -j "$JOBS"
(cd build-ci && ctest -j "$JOBS" --output-on-failure)
echo "All tests passed."
