#!/usr/bin/env bash
# Screenshots of the desktop program's module commands, written to docs/screenshots/:
#   device-progress.png  the progress window while a project is written to the module
#   device-verify.png    "Сверить с МП" after the project was changed since it was written
#   device-network.png   "Настройка сети устройств" after a search found a controller simulator
# Runs the program on a virtual X server: needs xvfb, imagemagick and xdotool.
# Usage: scripts/device-screenshots.sh [BUILD-DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
app=$PWD/$build/src/app/kalvort
cli=$PWD/$build/src/cli/kalvort-cli
sim=$PWD/$build/src/sim/program/kalvort-urvell-sim
out=$PWD/docs/screenshots
mkdir -p "$out"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KALVORT_LOOPBACK_ONLY=1 KALVORT_CONFIG=$work/kalvort.ini KALVORT_VIRTUAL_MODULE=$work/module.bin
export KALVORT_VIRTUAL_KIND=2000
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/run
mkdir -m 0700 "$work/run"
printf '[Window]\nWidth=1000\nHeight=640\n' > "$KALVORT_CONFIG"

# A project of 40 turning programs: long enough a write to catch the progress window.
mkdir -p "$work/demo"
files=()
for n in $(seq 1 40); do
  f="$work/demo/Деталь-$n.txt"
  { echo "%"; for l in $(seq 1 40); do echo "N$l G01 X$((100 + l)) Z-$((l * 2)) F0.2"; done; echo "M30"; } > "$f"
  files+=("$f")
done
"$cli" project new "$work/demo.kvt" "${files[@]}" >/dev/null

# shot NAME [xdotool commands to run once the window is up]. The write question's default
# button is Отмена, so its OK is reached with Shift+Tab.
shot() {
  local name=$1 keys=${2:-}
  xvfb-run -a -s "-screen 0 1100x720x24" bash -c '
    "$0" "$3" & pid=$!
    window=$(xdotool search --sync --name "Калворт" | head -1)
    sleep 2
    xdotool windowfocus "$window" 2>/dev/null || true
    eval "$2"
    import -window root "$1"
    kill $pid; wait $pid 2>/dev/null || true' "$app" "$out/$name" "$keys" "$work/demo.kvt"
}

# The menu "Модуль памяти" is the third of the menu bar; F10-free: click it, then walk its items.
menu='xdotool mousemove --window "$window" 150 12 click 1; sleep 0.5'

shot device-progress.png 'xdotool key ctrl+b; sleep 0.7; xdotool key shift+Tab space; sleep 2'
shot device-verify.png "xdotool key ctrl+b; sleep 0.7; xdotool key shift+Tab space; sleep 8; $menu; xdotool key Down Down Down Return; sleep 6"

"$sim" --address 127.0.0.2 & sim_pid=$!
trap 'kill $sim_pid 2>/dev/null; rm -rf "$work"' EXIT
shot device-network.png "$menu; xdotool key Up Return; sleep 1; xdotool key Tab Tab Tab Tab Tab Tab Tab ctrl+a; xdotool type 127.0.0.1; xdotool key Tab ctrl+a; xdotool type 127.0.0.3; xdotool key Tab Tab space; sleep 3"
echo "written: $out/device-progress.png $out/device-verify.png $out/device-network.png"
