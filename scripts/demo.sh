#!/usr/bin/env bash
# Sets up, builds and opens Varden on emulated drives. Without a display (a server, an SSH
# session) it shows the same drives through varden-cli in the terminal instead.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/packages.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target varden-demo varden varden-cli

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/varden-demo
fi
echo "No display here: showing the demo's emulated drives with varden-cli instead."
echo "(Run scripts/demo.sh from a desktop session to open the dialog.)"
echo
build/bin/varden-cli --emulated list
echo
exec build/bin/varden-cli --emulated report
