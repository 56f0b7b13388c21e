#!/usr/bin/env bash
# Measures how long varden-demo takes from launch until its main dialog is on the screen
# (scan, first region report and all), and its peak resident memory, on a virtual display.
# Usage: scripts/measure-startup.sh [build folder] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-10}
program="$build/bin/varden-demo"
[ -x "$program" ] || { echo "no $program: build it first" >&2; exit 2; }

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
state=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null; rm -rf "$state"' EXIT
export DISPLAY=$display XDG_STATE_HOME=$state LC_ALL=C.UTF-8
sleep 1

for ((i = 1; i <= runs; i++)); do
  start=$(date +%s%N)
  "$program" >/dev/null 2>&1 &
  pid=$!
  until xwininfo -root -tree 2>/dev/null | grep -q '"Varden for Windows2000"'; do sleep 0.005; done
  shown=$(date +%s%N)
  sleep 0.3
  peak=$(awk '/VmHWM/ {print $2}' /proc/$pid/status)
  kill $pid; wait $pid 2>/dev/null || true
  printf 'run %2d: dialog shown after %4d ms, peak resident memory %6d KiB\n' \
    "$i" $(((shown - start) / 1000000)) "$peak"
done
