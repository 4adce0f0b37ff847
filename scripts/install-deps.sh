#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the demo need and the
# machine lacks. Idempotent; prints nothing when everything is already there.
set -euo pipefail

PACKAGES=(
  # build
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools
  libsqlite3-dev sqlite3 libxlsxwriter-dev libzip-dev libxml2-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-openpyxl imagemagick giflib-tools libgif-dev libimagequant-dev
  # fuzzing (libFuzzer ships with clang's runtime)
  clang libclang-rt-14-dev
  # running the program without a screen
  xvfb xauth
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
