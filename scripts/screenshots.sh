#!/usr/bin/env bash
# Screenshots of the desktop program for the README, written to docs/screenshots/:
#   main-window.png      the main window with the USB programmer (virtual, an mptMP2000 module)
#   settings-dialog.png  "Настройки проекта" over it (Ctrl+T)
# Then the catalog and editor screenshots (scripts/editor-screenshots.sh) when that script exists.
# Runs the program on a virtual X server: needs xvfb, imagemagick and xdotool.
# Usage: scripts/screenshots.sh [BUILD-DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
app=$PWD/$build/src/app/kalvort
out=$PWD/docs/screenshots
mkdir -p "$out"
[ -x "$app" ] || { echo "build the program first: cmake --build $build --target kalvort" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KALVORT_LOOPBACK_ONLY=1 KALVORT_CONFIG=$work/kalvort.ini KALVORT_VIRTUAL_MODULE=$work/module.bin
export KALVORT_VIRTUAL_KIND=2000
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/run
mkdir -m 0700 "$work/run"
printf '[Window]\nWidth=1000\nHeight=640\n[NetDevice]\nNum=2\nIP1=192.168.0.21\nname1=Токарный 1\nIP2=192.168.0.22\nname2=Фрезерный\n' \
  > "$KALVORT_CONFIG"

# shot NAME [xdotool commands to run once the window is up]
shot() {
  local name=$1 keys=${2:-}
  xvfb-run -a -s "-screen 0 1100x720x24" bash -c '
    "$0" & pid=$!
    window=$(xdotool search --sync --name "Калворт" | head -1)
    sleep 1.5
    xdotool windowfocus "$window" 2>/dev/null || true
    if [ -n "$2" ]; then eval "$2"; sleep 1; fi
    import -window root "$1"
    kill $pid; wait $pid 2>/dev/null || true' "$app" "$out/$name" "$keys"
}

shot main-window.png
shot settings-dialog.png 'xdotool key ctrl+t'
echo "written: $out/main-window.png $out/settings-dialog.png"
if [ -x scripts/editor-screenshots.sh ]; then scripts/editor-screenshots.sh "$build"; fi
if [ -x scripts/device-screenshots.sh ]; then scripts/device-screenshots.sh "$build"; fi
