#!/usr/bin/env bash
# Screenshots of the desktop program's catalog list and editor, written to docs/screenshots/:
#   editor-project.png  a project of several programs, the first one in the editor (highlighted)
#   editor-hex.png      a converted program in the hex view
#   editor-find.png     the find dialog over the editor after a search
# Runs the program on a virtual X server. Needs xvfb, imagemagick and xdotool.
# Usage: scripts/editor-screenshots.sh [BUILD-DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
app=$PWD/$build/src/app/kalvort
cli=$PWD/$build/src/cli/kalvort-cli
out=$PWD/docs/screenshots
mkdir -p "$out"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KALVORT_LOOPBACK_ONLY=1 KALVORT_CONFIG=$work/kalvort.ini KALVORT_VIRTUAL_MODULE=$work/module.bin
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/run
mkdir -m 0700 "$work/run"

# A small turning project: three text programs and one converted to the control's image.
mkdir -p "$work/demo"
cat > "$work/demo/1.txt" <<'TXT'
%
N1 G90 G00 X150 Z5 (подвод к детали)
N2 G01 X40 F0.3
N3 Z-60 ; черновой проход
N4 X52 Z-75
N5 G00 X150 Z5
N6 M30
TXT
cat > "$work/demo/2.txt" <<'TXT'
%
N1 G90 G00 X38 Z2
N2 G01 Z-60 F0.12 (чистовой проход)
N3 X50 Z-74
N4 G00 X150 Z5 ; отвод
N5 M30
TXT
cat > "$work/demo/3.txt" <<'TXT'
%
G90 G00 X120 Z3
G01 X20 F0.2 (торец)
G00 X150 Z5
M30
TXT
cat > "$work/demo/4.txt" <<'TXT'
%
N1 G90 G00 X24 Z2
N2 G01 Z-40 F0.15
N3 G00 X60 Z5
N4 M30
TXT
"$cli" convert --format 2c42 --to binary "$work/demo/4.txt" "$work/demo/4.bin"

# project.ini of the folder form (kalvort-cli project pack); HEX_VIEW and the first program vary.
project_ini() {
  local hex_view=$1 first=$2 n=0 entry
  printf '[project]\nversion=16844544\nactive_device=2\nprocess=1\nprocessor=1\nhex_view=%s\ncount=4\n' "$hex_view"
  for entry in "$first" 1 2 3 4; do
    [ "$entry" = "$first" ] && [ $n -gt 0 ] && continue
    case $entry in
      1) name="Вал черновой"; files="text=1.txt" ;;
      2) name="Вал чистовой"; files="text=2.txt" ;;
      3) name="Фланец"; files="text=3.txt" ;;
      4) name="Болт М24"; files=$'text=4.txt\nbinary=4.bin' ;;
    esac
    printf '\n[program %d]\ncat_num=%d\nprog_num=%d\nname=%s\ndate=46366.5\nneed_p_proc=1\n%s\n' \
      $((n + 1)) $n $((n + 1)) "$name" "$files"
    n=$((n + 1))
  done
}
project_ini 0 1 > "$work/demo/project.ini"
"$cli" project pack "$work/demo" "$work/demo.kvt" >/dev/null
project_ini 1 4 > "$work/demo/project.ini"
"$cli" project pack "$work/demo" "$work/hex.kvt" >/dev/null

# shot NAME PROJECT [xdotool arguments after the window is up...]
shot() {
  local name=$1 project=$2
  shift 2
  xvfb-run -a -s "-screen 0 1024x700x24" bash -c '
    "$0" "$1" & pid=$!
    window=$(xdotool search --sync --name "Калворт" | head -1)
    sleep 1.5
    xdotool windowfocus "$window" 2>/dev/null || true
    if [ "$3" != "" ]; then eval "$3"; sleep 1; fi
    import -window root "$2"
    kill $pid; wait $pid 2>/dev/null || true' "$app" "$project" "$out/$name" "$*"
}

shot editor-project.png "$work/demo.kvt"
shot editor-hex.png "$work/hex.kvt"
shot editor-find.png "$work/demo.kvt" \
  'xdotool key ctrl+f; sleep 0.5; xdotool type --delay 50 "g01"; xdotool key Return'
echo "written: $out/editor-project.png $out/editor-hex.png $out/editor-find.png"
