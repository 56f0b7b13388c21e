#!/usr/bin/env bash
# Checks the published Windows installer (dist/varden-VERSION-setup.exe, an x86-64 program)
# under Wine, in a fresh prefix on a virtual display: the silent install, the installed
# programs' start, the help topic from another folder, the uninstaller.
# Run scripts/package-windows.sh first (it also builds tests/wine/driver.exe).
# Usage: scripts/check-windows-package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
version=$(sed -n 's/^project(Varden VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
setup=$root/dist/varden-$version-setup.exe
driver=$root/build-win64/tests/wine/driver.exe
[ -f "$setup" ] && [ -f "$driver" ] || { echo "run scripts/package-windows.sh first" >&2; exit 2; }

scripts/packages.sh test  # Wine, the virtual display
failed=0
fail() { echo "FAIL: $*"; failed=1; }

prefix=$(mktemp -d)
work=$(mktemp -d)
xvfb_pid=
cleanup() {
  if [ -n "${VARDEN_CHECK_KEEP:-}" ]; then cp "$work"/*.txt "$VARDEN_CHECK_KEEP"/ 2>/dev/null; fi
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$prefix" "$work"
}
trap cleanup EXIT
source scripts/wine-session.sh
start_wine_session 141 190

key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Varden'
folder=$prefix/drive_c/Program\ Files/Varden
menu=$prefix/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Varden
# Every file of the prefix but Wine's own changing ones and the demo's state (the user's data,
# which an uninstaller leaves).
files() {
  (cd "$prefix/drive_c" && find . -type f ! -path './windows/*' ! -path './users/*/Temp/*' \
    ! -path '*/AppData/Local/Varden/*' | LC_ALL=C sort)
}
files >"$work/before.txt"

wine "$setup" /S || fail "the silent install failed"
wineserver -w

for f in varden.exe varden-demo.exe kelvane.chm kelvanej.chm README.txt LICENSE.txt uninstall.exe; do
  [ -f "$folder/$f" ] || fail "not installed: $f"
done
for f in "Varden" "Varden demo" "Varden help" "Varden help (Japanese)"; do
  [ -f "$menu/$f.lnk" ] || fail "no Start menu shortcut: $f"
done
wine reg query "$key" /v DisplayVersion 2>/dev/null | grep -q "$version" ||
  fail "no Apps & features entry with version $version"
wine reg query "$key" /v UninstallString 2>/dev/null | grep -qi 'uninstall.exe' ||
  fail "the Apps & features entry has no uninstaller"

# drive RESULT START_IN PROGRAM STEP...: the Wine test driver's run, in the folder START_IN.
drive() {
  local out=$work/$1 start_in=$2
  shift 2
  (cd "$work" && VARDEN_DRIVER_START_IN=$start_in wine "$driver" "$@" >"$out" 2>/dev/null) || true
  if grep -q '^error ' "$out"; then fail "$(grep '^error ' "$out" | head -1) ($*)"; fi
}
installed='C:\Program Files\Varden'
drive demo.txt 'C:\windows' "$installed\\varden-demo.exe" dump key:escape wait-exit
grep -q '^drives count=4 ' "$work/demo.txt" || fail "the installed demo shows no drives"
drive real.txt 'C:\windows' "$installed\\varden.exe" dump key:escape wait-exit
grep -q '^dialog caption=Varden for Windows2000' "$work/real.txt" || fail "the installed varden.exe did not start"
# F1 from another folder finds the help file beside the program.
drive help.txt 'C:\windows' "$installed\\varden-demo.exe" key:f1 dump windows
grep -q '^window HH Parent caption=' "$work/help.txt" || fail "F1 from another folder shows no help"
if grep -q 'caption=Error' "$work/help.txt"; then fail "F1 from another folder shows an error"; fi
# The help file in the current folder is found first, with none beside the program.
mkdir -p "$prefix/drive_c/bare"
cp "$folder/varden-demo.exe" "$prefix/drive_c/bare/"
drive help-here.txt "$installed" 'C:\bare\varden-demo.exe' key:f1 dump windows
grep -q '^window HH Parent caption=' "$work/help-here.txt" || fail "F1 misses the help file in the current folder"
rm -rf "$prefix/drive_c/bare"

wine "$folder/uninstall.exe" /S || fail "the uninstaller failed"
wineserver -w
files >"$work/after.txt"
diff "$work/before.txt" "$work/after.txt" >"$work/left.txt" || fail "the uninstaller left files: $(cat "$work/left.txt")"
if [ -e "$folder" ]; then fail "the uninstaller left the folder $folder"; fi
if [ -e "$menu" ]; then fail "the uninstaller left the Start menu folder"; fi
if wine reg query "$key" >/dev/null 2>&1; then fail "the uninstaller left the registry key $key"; fi

if [ "$failed" -eq 0 ]; then echo "Windows installer: all checks passed"; fi
exit "$failed"
