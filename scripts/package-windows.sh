#!/usr/bin/env bash
# Makes the Windows downloads in dist/: varden-VERSION-win64.zip and varden-VERSION-win32.zip
# (the two programs stripped, both help files, README.txt and LICENSE) and
# varden-VERSION-setup.exe, the x86-64 installer (NSIS) of the win64 files. Builds the help files
# and both Windows programs first. The same commit gives the same files, byte for byte: every
# time written (program headers, zip entries, the installer's files) is the last commit's.
# Usage: scripts/package-windows.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
version=$(sed -n 's/^project(Varden VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH TZ=UTC
jobs=${VARDEN_JOBS:-2}

scripts/packages.sh build
missing=()
for p in g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix nsis zip; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get -o DPkg::Lock::Timeout=900 update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -q "${missing[@]}"
fi

# The help files alone, from a Linux configuration without the desktop program.
cmake -S "$root" -B "$root/build-help" -DVARDEN_QT=OFF -DVARDEN_TESTS=OFF \
  -DVARDEN_BENCHMARKS=OFF >/dev/null
cmake --build "$root/build-help" --target varden_help -j"$jobs"
VARDEN_HELP_DIR=$root/build-help/bin scripts/windows-build.sh all

stage=$root/build-dist
rm -rf "$stage"
mkdir -p "$root/dist"
for arch in win64 win32; do
  case $arch in
    win64) build=$root/build-win64 strip=x86_64-w64-mingw32-strip ;;
    win32) build=$root/build-win32 strip=i686-w64-mingw32-strip ;;
  esac
  folder=$stage/varden-$version-$arch
  mkdir -p "$folder"
  for program in varden.exe varden-demo.exe; do
    "$strip" -o "$folder/$program" "$build/bin/$program"
  done
  cp "$root/build-help/bin/kelvane.chm" "$root/build-help/bin/kelvanej.chm" "$folder/"
  sed "s/@VERSION@/$version/g; s/\$/\r/" "$root/packaging/windows/README.txt" >"$folder/README.txt"
  sed 's/$/\r/' "$root/LICENSE" >"$folder/LICENSE.txt"
  find "$folder" -exec touch -d "@$SOURCE_DATE_EPOCH" {} +
  rm -f "$root/dist/varden-$version-$arch.zip"
  (cd "$stage" && find "varden-$version-$arch" | LC_ALL=C sort |
    zip -q -X -9 "$root/dist/varden-$version-$arch.zip" -@)
done

makensis -V2 -DVERSION="$version" -DFILES="$stage/varden-$version-win64" \
  -DOUTFILE="$root/dist/varden-$version-setup.exe" "$root/packaging/windows/varden.nsi"
ls -l "$root"/dist/varden-$version-*
