#!/usr/bin/env bash
# Measures what `varden-cli --emulated=FILE list` costs against the least a listing can cost:
# build/tools/varden_list_floor, which only reads, parses and prints the same state file (the
# demo's drives). Each runs once under valgrind's callgrind (instructions, independent of the
# load) and then `runs` times in turn, timed by perf stat (CPU time, task-clock); the ratios
# end the report. A measurement, not a test.
# Usage: scripts/measure-cli-list.sh [build folder] [runs]   (default: build 200)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-200}
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
  cc=$(cpu_ms "${cli_cmd[@]}")
  fc=$(cpu_ms "${floor_cmd[@]}")
  echo "cpu (mean of $runs): varden-cli list $cc ms, floor $fc ms"
  awk -v c="$cc" -v f="$fc" 'BEGIN { printf "ratio: cpu %.2f\n", c / f }'
else
  echo "perf stat is not permitted here: no CPU times" >&2
fi
echo "load while measuring: $(uptime | sed 's/.*load average/load average/')"
