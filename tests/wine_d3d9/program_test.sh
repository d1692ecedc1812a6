#!/usr/bin/env bash
# The Windows program with -directx9 under Wine: screenshots of the client area
# and the ON/OFF report.
# Usage: program_test.sh <scene|pause|report-off|report-on|compare-opengl> <windows build dir> [native bin dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
what=$1
exe=$2/bin/vyrtest.exe
native=${3:-}
. "$here/wine_session.sh"
wine_session_start
work=$session_dir

program_pid=
# start <output prefix> <arguments...>: runs the program and waits for its window.
start() {
  local out=$1
  shift
  wine "$exe" "$@" >"$work/$out.out" 2>"$work/$out.err" &
  program_pid=$!
  window=$(timeout 60 xdotool search --sync --onlyvisible --name '\(DirectX9\)' | head -n 1)
  [ -n "$window" ] || { echo "no window"; cat "$work/$out.err"; exit 1; }
  sleep 3
}
# shot <file> [window]: the 640 x 400 client area. Wine draws the frame itself:
# equal borders left, right and below, the caption on top.
shot() {
  local id=${2:-$window}
  import -window "$id" "$work/full.png"
  local size w h border
  size=$(identify -format '%w %h' "$work/full.png")
  w=${size% *}
  h=${size#* }
  border=$(((w - 640) / 2))
  convert "$work/full.png" -crop "640x400+$border+$((h - 400 - border))" +repage "$1"
}
finish() {
  xdotool key --window "$window" Escape
  local status=0
  wait "$program_pid" || status=$?
  program_pid=
  [ $status = 0 ] || { echo "exit code $status"; exit 1; }
}

# The daemon's port file belongs in the prefix user's local application data.
start_daemon() {
  local sim=${VYRD_SIM:-$native/vyrd-sim}
  local dir
  dir="$(wine_local_appdata)/Tarsel/VYR"
  mkdir -p "$dir"
  "$sim" --port-file-dir "$dir" --answer "$1" >"$work/sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 50); do ls "$dir"/vyrdport.* >/dev/null 2>&1 && return; sleep 0.1; done
  echo "vyrd-sim wrote no port file"
  exit 1
}
stop_daemon() { kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null || true; }

case $what in
report-off)
  start off -directx9 -nosound -paused
  finish
  grep -q $'^VYR OFF$' "$work/off.out" || { cat "$work/off.out"; exit 1; }
  # The exact bytes: a blank line, the word pair, a blank line.
  python3 -c 'import sys; t=open(sys.argv[1],"rb").read(); sys.exit(0 if b"\nVYR OFF\n\n" in t else 1)' "$work/off.out"
  ;;
report-on)
  start_daemon 1
  start on -directx9 -nosound -paused
  finish
  stop_daemon
  python3 -c 'import sys; t=open(sys.argv[1],"rb").read(); sys.exit(0 if b"\nVYR ON\n\n" in t else 1)' "$work/on.out" ||
    { cat "$work/on.out" "$work/on.err"; exit 1; }
  ;;
scene)
  # Paused at the first frame: animation time 0, the pause label shown.
  start off -directx9 -nosound -paused
  shot "$work/off.png"
  finish
  start_daemon 1
  start on -directx9 -nosound -paused
  shot "$work/on.png"
  finish
  stop_daemon
  python3 "$here/frame_check.py" scene "$work/off.png" "$work/on.png"
  ;;
pause)
  start run -directx9 -nosound
  shot "$work/before.png"
  xdotool key --window "$window" space
  sleep 2
  shot "$work/after.png"
  finish
  python3 "$here/frame_check.py" pause "$work/before.png" "$work/after.png"
  ;;
frame-rate-key)
  # F draws the frame-rate text, where Wine's font cannot draw on the extended
  # device: the program must go on, show frames, and still end on Escape.
  start run -directx9 -nosound
  xdotool key --window "$window" f
  reports=$(grep -c '^Produced' "$work/run.out" || true)
  for _ in $(seq 300); do
    [ "$(grep -c '^Produced' "$work/run.out" || true)" -gt "$reports" ] && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ "$(grep -c '^Produced' "$work/run.out" || true)" -gt "$reports" ] || { echo "no frames after F"; cat "$work/run.err"; exit 1; }
  finish
  ;;
compare-opengl)
  # Both back-ends at animation time 0 (-paused) in the same display.
  start d3d -directx9 -nosound -paused
  shot "$work/d3d.png"
  finish
  "$native/vyrtest" -nosound -paused >"$work/gl.out" 2>&1 &
  gl_pid=$!
  gl_window=$(timeout 60 xdotool search --sync --onlyvisible --name '\(OpenGL\)' | head -n 1)
  sleep 3
  import -window "$gl_window" "$work/gl-full.png"
  convert "$work/gl-full.png" -crop 640x400+0+0 +repage "$work/gl.png"
  kill "$gl_pid" 2>/dev/null || true
  wait "$gl_pid" 2>/dev/null || true
  # 20 x 20 pixel cells keep where things are and drop how each API samples,
  # antialiases and combines the logo's reflection; a difference of 12 levels per
  # cell on average allows those, while a missing, moved or mis-sized logo,
  # background or overlay changes the cells it covers by far more.
  python3 "$here/frame_check.py" compare "$work/d3d.png" "$work/gl.png" 12
  ;;
*)
  echo "unknown case $what" >&2
  exit 2
  ;;
esac
