#!/usr/bin/env bash
# Checks the Debian packages that scripts/package-deb.sh made in dist/: lintian, the AppStream
# and desktop files, an install with apt, the installed programs, and a purge that leaves
# nothing behind. Changes the system: run it as root on a test machine (CI).
# Usage: scripts/check-deb-package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
version=1.08-1
debs=("$root/dist/varden_${version}_amd64.deb" "$root/dist/varden-cli_${version}_amd64.deb")
[ -f "${debs[0]}" ] && [ -f "${debs[1]}" ] || { echo "run scripts/package-deb.sh first" >&2; exit 2; }
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 -y -q "$@"; }

missing=()
for p in lintian appstream desktop-file-utils man-db xvfb xauth x11-utils xdotool; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then apt_get update && apt_get install "${missing[@]}"; fi

failed=0
fail() { echo "FAIL: $*"; failed=1; }

lintian --fail-on error,warning \
  "$root/dist/varden_${version}_amd64.changes" || fail "lintian"

apt_get install "${debs[@]}"
appstreamcli validate --no-net /usr/share/metainfo/io.varden.Varden.metainfo.xml || fail "appstream"
desktop-file-validate /usr/share/applications/varden.desktop \
  /usr/share/applications/varden-demo.desktop || fail "desktop entries"
man -w varden-cli | grep -q '^/usr/share/man/man1/varden-cli.1' || fail "no manual page"
state=$(mktemp -d)
(cd "$state" && varden-cli --emulated="$state/x.json" list) | grep -q 'MERIDAX DVD' ||
  fail "varden-cli lists no emulated drive"
rm -rf "$state"

# F1 in the installed demo, started in a folder without help files: the help window opens.
state=$(mktemp -d)
Xvfb :$((191 + RANDOM % 9)) -screen 0 1024x768x24 -nolisten tcp -displayfd 3 3>"$state/display" \
  >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$state/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$state/display")
(cd "$state" && XDG_STATE_HOME=$state LC_ALL=C.UTF-8 varden-demo >/dev/null 2>&1) &
demo=$!
dialog=
for _ in $(seq 100); do
  dialog=$(xdotool search --name '^Varden for Windows2000$' 2>/dev/null | head -1) && [ -n "$dialog" ] && break
  sleep 0.1
done
if [ -n "$dialog" ]; then
  xdotool windowfocus --sync "$dialog" key F1
  sleep 1
  shown=$(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null || true)
  if grep -qx 'Error' <<<"$shown"; then fail "the installed varden-demo does not find its help"; fi
  if [ "$(grep -cvx 'Varden for Windows2000' <<<"$shown")" -lt 1 ]; then
    fail "the installed varden-demo shows no help window"
  fi
else
  fail "the installed varden-demo shows no dialog"
fi
kill "$demo" "$xvfb" 2>/dev/null || true
wait 2>/dev/null || true
rm -rf "$state"

files=$(dpkg -L varden varden-cli | sort -u)
apt_get purge varden varden-cli
for p in varden varden-cli; do
  if dpkg -s "$p" >/dev/null 2>&1; then fail "$p is still known to dpkg"; fi
done
while IFS= read -r f; do
  if [ -f "$f" ] || [ -L "$f" ]; then fail "left behind: $f"; fi
done <<<"$files"
for d in /usr/share/varden /usr/share/doc/varden /usr/share/doc/varden-cli; do
  if [ -e "$d" ]; then fail "left behind: $d"; fi
done

if [ "$failed" -eq 0 ]; then echo "Debian packages: all checks passed"; fi
exit "$failed"
