#!/bin/sh
# Takes the pictures of the desktop program for docs/screenshots: the demo program as it starts
# (English and Japanese, each under its own locale), the progress window of the drive scan, the
# disc prompt of a region change, the About box and the help window; and the main dialog on a
# screen of twice the pixel density (QT_SCALE_FACTOR=2). Runs on a virtual X
# display (xvfb-run, Debian package xvfb) with a window manager when one is installed, so that
# windows have their title bars: openbox (draws Japanese captions), else twm.
#
#   scripts/screenshots.sh [build folder]     (default: build)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
case $build in /*) ;; *) build=$root/$build ;; esac
out=$root/docs/screenshots
mkdir -p "$out"

# The window manager that draws the title bars (Japanese captions included) as a desktop
# does: installed when missing and this runs as root.
if ! command -v openbox >/dev/null 2>&1 && [ "$(id -u)" -eq 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -q openbox ||
    echo "openbox could not be installed: the pictures get twm's title bars or none" >&2
fi

cmake --build "$build" -j2 --target varden-demo varden_screenshot_tour
if cmake --build "$build" -j2 --target varden_help >/dev/null 2>&1; then :; fi
tour=$build/tools/varden_screenshot_tour
[ -x "$tour" ] || { echo "no $tour: build it first" >&2; exit 1; }

state=$(mktemp -d)
trap 'rm -rf "$state"' EXIT

# The window manager places each window where the program asks, without waiting for a click.
cat > "$state/twmrc" <<'TWMRC'
RandomPlacement
UsePPosition "on"
NoGrabServer
DecorateTransients
TitleFont "-*-helvetica-bold-r-normal--*-120-*-*-*-*-*-*"
Color
{
  TitleBackground "#0a246a"
  TitleForeground "white"
  BorderColor "#0a246a"
}
TWMRC

# One session on a fresh virtual screen (of $screen pixels, $scale times the pixel density):
# the window manager (if any), then the command.
screen=1024x768
scale=1
session() {  # session LANG command...
  lang=$1; shift
  cat > "$state/session.sh" <<SESSION
if command -v openbox >/dev/null 2>&1; then openbox --sm-disable >/dev/null 2>&1 & sleep 1
elif command -v twm >/dev/null 2>&1; then twm -f "$state/twmrc" >/dev/null 2>&1 & sleep 1; fi
exec "\$@"
SESSION
  env LANG="$lang" LC_ALL= LANGUAGE= XDG_STATE_HOME="$state" QT_QPA_PLATFORM=xcb \
    QT_SCALE_FACTOR="$scale" xvfb-run -a -s "-screen 0 ${screen}x24 -dpi 96" \
    sh "$state/session.sh" "$@"
}

# The tour: every window of the program, in each language.
session en_US.UTF-8 "$tour" "$out" "-en" "$build/bin"
session ja_JP.UTF-8 "$tour" "$out" "-ja" "$build/bin"

# The main dialog at twice the pixel density; of this tour only its picture is kept.
twice=$state/twice
mkdir -p "$twice"
screen=2048x1536 && scale=2
session en_US.UTF-8 "$tour" "$twice" "-en-2x" "$build/bin"
cp "$twice/main-en-2x.png" "$out/"
screen=1024x768 && scale=1

# The demo program itself, the whole screen as it starts (its first run creates the state).
cat > "$state/demo.sh" <<DEMO
"$build/bin/varden-demo" & pid=\$!
sleep 3
import -window root "\$1"
kill \$pid
DEMO
session en_US.UTF-8 sh "$state/demo.sh" "$out/demo-screen-en.png"

ls -l "$out"
