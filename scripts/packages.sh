#!/usr/bin/env bash
# Installs the Debian 12 packages that Varden needs to build, run and test.
# Usage: scripts/packages.sh [build|run|test|fuzz]   (default: test, which is everything but
# fuzz; fuzz is only what the state-file fuzzing needs)
set -euo pipefail

what=${1:-test}
build=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev
       nlohmann-json3-dev qt6-base-dev qt6-translations-l10n libchm-dev fp-utils
       fonts-ipafont-gothic fonts-liberation)
run=(xvfb xauth)
test=(xvfb xauth x11-utils imagemagick locales g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
      wine wine64 fonts-wine python3-jsonschema)

packages=("${build[@]}")
case "$what" in
  build) ;;
  run) packages+=("${run[@]}") ;;
  test) packages+=("${test[@]}") ;;
  fuzz) packages=(clang-14 libclang-rt-14-dev nlohmann-json3-dev) ;;
  *) echo "usage: $0 [build|run|test|fuzz]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}"
fi
