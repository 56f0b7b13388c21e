#!/usr/bin/env bash
# Measures what `varden-cli --emulated=FILE list` costs against the least a listing can cost:
# build/tools/varden_list_floor, which only reads, parses and prints the same state file (the
# demo's drives). Each runs once under valgrind's callgrind (instructions, independent of the
# load). Then the CPU time (task-clock: time on a processor, not time waiting for one) of
# `runs` x `rounds` pairs of single runs, the two programs one right after the other and the
# first of a pair alternating, so that a change of the machine's load falls on both alike.
# The report ends with the ratio of the mean times and the spread of the ratio within a
# pair: its quartiles say how far the one figure can be trusted.
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

cpu_ms() {  # cpu_ms <command...>: the task-clock of one run, in milliseconds
  perf stat -x, -e task-clock "$@" 2>&1 >/dev/null | awk -F, '/task-clock/ { print $1 }'
}
if perf stat -e task-clock true >/dev/null 2>&1; then
  : >"$state/cpu"
  for ((pair = 1; pair <= runs * rounds; pair++)); do
    if ((pair % 2)); then
      cc=$(cpu_ms "${cli_cmd[@]}") && fc=$(cpu_ms "${floor_cmd[@]}")
    else
      fc=$(cpu_ms "${floor_cmd[@]}") && cc=$(cpu_ms "${cli_cmd[@]}")
    fi
    echo "$cc $fc" >>"$state/cpu"
  done
  quartiles() {  # the lowest, first quartile, median, third quartile and highest of stdin
    sort -n | awk '{ v[NR] = $1 } END {
      printf "lowest %.2f, quartiles %.2f %.2f %.2f, highest %.2f",
        v[1], v[int((NR + 3) / 4)], v[int((NR + 1) / 2)], v[int((3 * NR + 1) / 4)], v[NR] }'
  }
  awk -v pairs=$((runs * rounds)) '{ c += $1; f += $2 } END {
      printf "cpu (mean of %d runs each): varden-cli list %.3f ms, floor %.3f ms\n", pairs, c / NR, f / NR
      printf "ratio: cpu %.2f\n", c / f }' "$state/cpu"
  echo "ratio of the runs of a pair: $(awk '{ print $1 / $2 }' "$state/cpu" | quartiles)"
else
  echo "perf stat is not permitted here: no CPU times" >&2
fi
echo "load while measuring: $(uptime | sed 's/.*load average/load average/')"
