#!/usr/bin/env bash
# Measures how long varden-demo takes from launch until its main dialog is on the screen
# (scan, first region report and all) and its peak resident memory, side by side with a bare
# Qt dialog of the same controls and font (build/tools/varden_bare_dialog), on a virtual
# display. The two run in turn, `runs` times each; the medians and their ratio end the report.
# With --callgrind, each program also runs once under valgrind's callgrind and the
# instructions it executed until the dialog was shown are reported (independent of the load).
# Usage: scripts/measure-startup.sh [--callgrind] [build folder] [runs]   (default: build 20)
set -euo pipefail
cd "$(dirname "$0")/.."
callgrind=0
if [ "${1:-}" = --callgrind ]; then callgrind=1; shift; fi
build=${1:-build}
runs=${2:-20}
demo="$build/bin/varden-demo"
bare="$build/tools/varden_bare_dialog"
for program in "$demo" "$bare"; do
  [ -x "$program" ] || { echo "no $program: build it first" >&2; exit 2; }
done

# A display of its own: a free number, so that no other virtual screen is measured.
display=
for n in $(seq 150 199); do
  if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=:$n; break; fi
done
[ -n "$display" ] || { echo "no free display number" >&2; exit 2; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
state=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null; rm -rf "$state"' EXIT
export DISPLAY=$display XDG_STATE_HOME=$state LC_ALL=C.UTF-8
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

# One run: prints "<ms until the window is mapped> <peak KiB>".
measure() {  # measure <program> <window title> [wrapper...]
  local program=$1 title=$2 start shown pid peak
  shift 2
  start=$(date +%s%N)
  "$@" "$program" >/dev/null 2>&1 &
  pid=$!
  until xwininfo -root -tree 2>/dev/null | grep -q "\"$title\""; do
    kill -0 $pid 2>/dev/null || { echo "$program ended before its window showed" >&2; exit 1; }
    sleep 0.002
  done
  shown=$(date +%s%N)
  sleep 0.3
  peak=$(awk '/VmHWM/ {print $2}' /proc/$pid/status)
  kill $pid
  wait $pid 2>/dev/null || true
  echo "$(((shown - start) / 1000000)) $peak"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$state/demo" && : >"$state/bare"
for ((i = 1; i <= runs; i++)); do
  read -r demo_ms demo_kib < <(measure "$demo" "Varden for Windows2000")
  read -r bare_ms bare_kib < <(measure "$bare" "Bare dialog")
  echo "$demo_ms $demo_kib" >>"$state/demo"
  echo "$bare_ms $bare_kib" >>"$state/bare"
  printf 'run %2d: varden-demo %4d ms %6d KiB   bare dialog %4d ms %6d KiB\n' \
    "$i" "$demo_ms" "$demo_kib" "$bare_ms" "$bare_kib"
done

demo_ms=$(cut -d' ' -f1 "$state/demo" | median)
bare_ms=$(cut -d' ' -f1 "$state/bare" | median)
demo_kib=$(cut -d' ' -f2 "$state/demo" | median)
bare_kib=$(cut -d' ' -f2 "$state/bare" | median)
echo "median of $runs: varden-demo $demo_ms ms $demo_kib KiB, bare dialog $bare_ms ms $bare_kib KiB"
awk -v d="$demo_ms" -v b="$bare_ms" -v dk="$demo_kib" -v bk="$bare_kib" \
  'BEGIN { printf "ratio: time %.2f, memory %.2f\n", d / b, dk / bk }'
echo "load while measuring: $(uptime | sed 's/.*load average/load average/')"

if [ "$callgrind" = 1 ]; then
  command -v valgrind >/dev/null || { echo "no valgrind: no instruction counts" >&2; exit 0; }
  for pair in "varden-demo:$demo:Varden for Windows2000" "bare dialog:$bare:Bare dialog"; do
    IFS=: read -r name program title <<<"$pair"
    out="$state/callgrind.$RANDOM"
    measure "$program" "$title" valgrind --tool=callgrind --callgrind-out-file="$out" >/dev/null
    # The program is ended once its window shows; the count stops there (plus the pause).
    printf '%s: %s instructions until shown\n' "$name" \
      "$(awk '/^summary:/ { print $2 }' "$out")"
  done
fi
