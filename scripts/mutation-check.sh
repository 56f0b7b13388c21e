#!/usr/bin/env bash
# Checks that the unit tests catch faults: applies one mutant of scripts/mutants.txt at a time
# to the core sources, rebuilds the unit tests that link the mutated file, runs them and
# restores the file. Prints each mutant's fate and the kill figures; lists the survivors.
# Usage: scripts/mutation-check.sh [--build DIR] [--list FILE] [--only SUBSTRING]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build-mutation
list=scripts/mutants.txt
only=
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --list) list=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--list FILE] [--only SUBSTRING]" >&2; exit 2 ;;
  esac
done
list=$(realpath "$list")
jobs=${JOBS:-2}
test_timeout=${TEST_TIMEOUT:-60}

# The unit tests only: no toolkit, no benchmarks.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE= -DVARDEN_QT=OFF -DVARDEN_BENCHMARKS=OFF \
  -DCMAKE_CXX_COMPILER_LAUNCHER="$(command -v ccache || true)" >/dev/null
mapfile -t tests < <(for f in tests/*_test.cpp; do basename "$f" .cpp; done)
cmake --build "$build" -j"$jobs" --target "${tests[@]}" >/dev/null

# The test programs that link a source file: those that hold one of the object's own functions.
declare -A linked=()
tests_linking() {
  local source=$1 object symbols t hits=()
  # The command-line program is tested as a process: its test runs the built program.
  if [[ $source == app/cli/* ]]; then
    echo "cli/varden_cli_test"
    return
  fi
  # A header reaches every program that includes it: all the tests.
  [[ $source == *.h ]] && { echo "${tests[*]}"; return; }
  if [ -z "${linked[$source]+x}" ]; then
    # The object whose dependency file names the source (no source includes another).
    # (as an absolute path, or relative to the object's folder where ccache rewrote it).
    object=$(find "$build" -name '*.o.d' -exec grep -lE -- "[ /]$source( |\$)" {} + | head -n 1)
    object=${object%.d}
    if [ -z "$object" ]; then
      linked[$source]=
    else
      symbols=$(nm --defined-only "$object" | awk '$2 == "T" { print $3 }' | sort -u)
      for t in "${tests[@]}"; do
        if nm --defined-only "$build/tests/$t" | awk '$2 == "T" { print $3 }' | sort -u |
          comm -12 - <(echo "$symbols") | grep -q .; then
          hits+=("$t")
        fi
      done
      linked[$source]="${hits[*]}"
    fi
  fi
  echo "${linked[$source]}"
}

backup=$(mktemp)
current=
restore() {
  if [ -n "$current" ]; then
    cp "$backup" "$current"
    current=
  fi
}
trap 'restore; rm -f "$backup"' EXIT
trap 'exit 130' INT TERM

run_tests() {
  local t
  for t in "$@"; do
    timeout "$test_timeout" "$build/tests/$t" --gtest_brief=1 >/dev/null 2>&1 || return 1
  done
}

total=0 killed=0 stillborn=0 stale=0
survivors=()
while IFS=$'\t' read -r file kind original mutated; do
  case "$file" in '' | '#'*) continue ;; esac
  [ -n "$only" ] && [[ "$file $kind $original" != *"$only"* ]] && continue
  label="$file [$kind] $original"
  if [ "$(grep -cxF -- "$original" <(sed 's/^[[:space:]]*//' "$file"))" != 1 ]; then
    echo "STALE     $label"
    stale=$((stale + 1))
    continue
  fi
  read -r -a targets <<<"$(tests_linking "$file")"
  if [ ${#targets[@]} = 0 ]; then
    echo "UNTESTED  $label"
    total=$((total + 1))
    survivors+=("$label (no test links it)")
    continue
  fi
  cp -p "$file" "$backup"
  current=$file
  ORIGINAL=$original MUTATED=$mutated awk '
    { line = $0; sub(/^[[:space:]]*/, "", line) }
    line == ENVIRON["ORIGINAL"] { match($0, /^[[:space:]]*/); $0 = substr($0, 1, RLENGTH) ENVIRON["MUTATED"] }
    { print }' "$backup" >"$file"
  if ! cmake --build "$build" -j"$jobs" --target "${targets[@]##*/}" >/dev/null 2>&1; then
    echo "STILLBORN $label"
    stillborn=$((stillborn + 1))
  elif run_tests "${targets[@]}" 2>/dev/null; then
    echo "SURVIVED  $label"
    total=$((total + 1))
    survivors+=("$label")
  else
    echo "KILLED    $label"
    total=$((total + 1))
    killed=$((killed + 1))
  fi
  restore
done <"$list"

# Leave the build folder matching the restored sources.
cmake --build "$build" -j"$jobs" --target "${tests[@]}" >/dev/null

echo
echo "killed $killed of $total mutants" \
  "($(awk -v k=$killed -v t=$total 'BEGIN { printf "%.1f", t ? 100 * k / t : 0 }') %);" \
  "$stillborn did not compile, $stale no longer match the sources"
if [ ${#survivors[@]} -gt 0 ]; then
  echo "survivors:"
  printf '  %s\n' "${survivors[@]}"
fi
