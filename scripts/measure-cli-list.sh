#!/usr/bin/env bash
# Measures what `varden-cli --emulated=FILE list` costs against the least a listing can cost:
# build/tools/varden_list_floor, which only reads, parses and prints the same state file (the
# demo's drives). Each runs once under valgrind's callgrind (instructions, independent of the
# load). Then the CPU time (task-clock: time on a processor, not time waiting for one) is
# taken in `rounds` rounds; a round runs each program `runs` times under one perf stat, the
# two in turn and the first of them alternating, so that a change of the machine's load
# falls on both alike. The report ends with the ratio of the totals and the median, lowest
# and highest ratio of a round: the spread says how far one figure can be trusted.
# A measurement, not a test.
# Usage: scripts/measure-cli-list.sh [build folder] [runs] [rounds]   (default: build 50 10)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-50}
rounds=${3:-10}
cli="$build/bin/varden-cli"
floor="$build/tools/varden_list_floor"
for program in "$cli" "$floor"; do
  [ -x "$program" ] || { echo "no $program: build it first" >&2; exit 2; }
done
state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT
file="$state/drives.json"
export LC_ALL=C.UTF-8
"$cli" --emulated="$file" list >/dev/null  # makes the demo's file
cli_cmd=("$cli" --emulated="$file" list)
floor_cmd=("$floor" "$file")

instructions() {  # instructions <command...>
  valgrind --tool=callgrind --callgrind-out-file="$state/out" "$@" >/dev/null 2>&1
  awk '/^summary:/ { print $2 }' "$state/out"
}
if command -v valgrind >/dev/null; then
  ci=$(instructions "${cli_cmd[@]}")
  fi_=$(instructions "${floor_cmd[@]}")
  echo "instructions: varden-cli list $ci, floor $fi_"
  awk -v c="$ci" -v f="$fi_" 'BEGIN { printf "ratio: instructions %.2f\n", c / f }'
fi

cpu_ms() {  # cpu_ms <command...>: the mean task-clock of `runs` runs, in milliseconds
  perf stat -x, -e task-clock -r "$runs" "$@" 2>&1 >/dev/null | awk -F, '/task-clock/ { print $1 }'
}
if perf stat -e task-clock true >/dev/null 2>&1; then
  : >"$state/cpu"
  for ((round = 1; round <= rounds; round++)); do
    if ((round % 2)); then
      cc=$(cpu_ms "${cli_cmd[@]}") && fc=$(cpu_ms "${floor_cmd[@]}")
    else
      fc=$(cpu_ms "${floor_cmd[@]}") && cc=$(cpu_ms "${cli_cmd[@]}")
    fi
    echo "$cc $fc" >>"$state/cpu"
    awk -v r="$round" -v c="$cc" -v f="$fc" \
      'BEGIN { printf "round %2d: varden-cli list %.3f ms, floor %.3f ms, ratio %.2f\n", r, c, f, c / f }'
  done
  spread=$(awk '{ print $1 / $2 }' "$state/cpu" | sort -n |
    awk '{ v[NR] = $1 } END {
      printf "median %.2f, lowest %.2f, highest %.2f",
        (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2, v[1], v[NR] }')
  awk -v runs=$((runs * rounds)) -v spread="$spread" '{ c += $1; f += $2 } END {
      printf "cpu (mean of %d runs): varden-cli list %.3f ms, floor %.3f ms\n", runs, c / NR, f / NR
      printf "ratio: cpu %.2f (rounds: %s)\n", c / f, spread }' "$state/cpu"
else
  echo "perf stat is not permitted here: no CPU times" >&2
fi
echo "load while measuring: $(uptime | sed 's/.*load average/load average/')"
