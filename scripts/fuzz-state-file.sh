#!/usr/bin/env bash
# Builds the state file loader's fuzz target with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs it for a bounded number of inputs from the committed
# seed corpus. Any crash, sanitizer report or changed round trip fails the script.
# Usage: scripts/fuzz-state-file.sh [RUNS]   (default 10000 inputs)
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-10000}
scripts/packages.sh fuzz

out=build-fuzz
mkdir -p "$out/corpus"
clang++-14 -std=c++20 -O1 -g -I. -Wall -Wextra -Werror \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  tests/fuzz/state_file_fuzz.cpp emulated/state_file.cpp emulated/atomic_file.cpp \
  emulated/state_json.cpp emulated/demo_drives.cpp emulated/emulated_drive.cpp text/shown_text.cpp \
  drive/region_commands.cpp drive/drive_access.cpp app/transfer_buffer.cpp -o "$out/state_file_fuzz"

# Every input is written to a file and saved once: in a folder of its own, on a memory file
# system where there is one, removed afterwards.
scratch=$(mktemp -d -p "$([ -d /dev/shm ] && [ -w /dev/shm ] && echo /dev/shm || echo /tmp)")
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch
# New inputs go to the build folder; the committed seeds stay as they are.
"$out/state_file_fuzz" -runs="$runs" -max_len=16384 -timeout=10 -seed=1 \
  "$out/corpus" tests/fuzz/corpus
