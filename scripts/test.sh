#!/usr/bin/env bash
# Sets up and runs every test of Varden: installs the Debian packages, builds, runs the
# unit, GUI and command-line tests, then the Windows programs' tests under Wine.
# Usage: scripts/test.sh [--sanitize] [--no-windows]
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
windows=1
build=build
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=ON; build=build-sanitize ;;
    --no-windows) windows=0 ;;
    *) echo "usage: $0 [--sanitize] [--no-windows]" >&2; exit 2 ;;
  esac
done

scripts/packages.sh test
jobs=$(nproc)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARDEN_SANITIZE=$sanitize -DVARDEN_BENCHMARKS=$([ $sanitize = ON ] && echo OFF || echo ON)
cmake --build "$build" -j"$jobs"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$jobs"

if [ "$windows" = 1 ] && [ -x scripts/wine-tests.sh ]; then
  scripts/wine-tests.sh
fi
