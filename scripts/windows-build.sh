#!/usr/bin/env bash
# Cross-builds the Windows programs with mingw-w64: build-win64 (x86-64, whose programs the
# Wine tests run) and build-win32 (i686, built to prove the 32-bit request block and the
# 32-bit programs; they cannot run here). The programs are linked statically and land in
# <build>/bin, beside the compiled help files when the Linux build has made them.
# Usage: scripts/windows-build.sh [x86_64|i686|all]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

which=${1:-all}
jobs=${VARDEN_JOBS:-2}
build_type=${VARDEN_WINDOWS_BUILD_TYPE:-Release}
help_dir=${VARDEN_HELP_DIR:-$root/build/bin}

build_one() {
  local arch=$1 dir=$2
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE="$build_type" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" \
    -DVARDEN_TESTS=OFF -DVARDEN_BENCHMARKS=OFF -DVARDEN_QT=OFF >/dev/null
  cmake --build "$dir" -j"$jobs"
  mkdir -p "$dir/bin"
  local chm
  for chm in "$help_dir"/kelvane.chm "$help_dir"/kelvanej.chm; do
    if [ -f "$chm" ]; then cp -f "$chm" "$dir/bin/"; fi
  done
}

case "$which" in
  x86_64) build_one x86_64 "$root/build-win64" ;;
  i686) build_one i686 "$root/build-win32" ;;
  all)
    build_one x86_64 "$root/build-win64"
    build_one i686 "$root/build-win32"
    ;;
  *) echo "usage: $0 [x86_64|i686|all]" >&2; exit 2 ;;
esac
