#!/usr/bin/env bash
# The Windows program with -directx9 under Wine: screenshots of the client area
# and the ON/OFF report.
# Usage: program_test.sh <report-off|report-on|scene|pause|frame-rate-key|compare-opengl> <windows build dir> [native bin dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../wine/wine_run.sh"
what=$1
exe=$2/bin/vyrtest.exe
native=${3:-}
wine_session_start
work=$session_dir

# d3d <name> [arguments]: the program on Direct3D 9, without sound.
d3d() {
  local name=$1
  shift
  program_start "$name" '\(DirectX9\)' wine "$exe" -directx9 -nosound "$@"
}
# The exact bytes of the report's end: a blank line, the word pair, a blank line.
reports() { python3 -c 'import sys; sys.exit(0 if sys.argv[2].encode() in open(sys.argv[1],"rb").read() else 1)' "$1" "$2"; }

case $what in
report-off | report-on)
  word=OFF
  [ "$what" = report-on ] && daemon_start 1 && word=ON
  d3d report -paused
  program_finish
  reports "$work/report.out" $'\n'"VYR $word"$'\n\n' || { cat "$work/report.out" "$work/report.err"; exit 1; }
  ;;
scene)
  # Paused at the first frame: animation time 0, the pause label shown.
  d3d off -paused
  test_wait 60 "a still picture" picture_still
  shot "$work/off.png"
  program_finish
  daemon_start 1
  d3d on -paused
  test_wait 60 "a still picture" picture_still
  shot "$work/on.png"
  program_finish
  python3 "$here/frame_check.py" scene "$work/off.png" "$work/on.png"
  ;;
pause)
  d3d run
  shot "$work/before.png"
  press space
  wait_for 60 picture_still || { echo "FAIL: still moving after Space"; exit 1; }
  shot "$work/after.png"
  program_finish
  python3 "$here/frame_check.py" pause "$work/before.png" "$work/after.png"
  ;;
frame-rate-key)
  # F draws the frame-rate text, where Wine's font cannot draw on the extended
  # device: the program must go on, show frames, and still end on Escape.
  d3d run
  press f
  reports=$(grep -c '^Produced' "$work/run.out" || true)
  more_reports() { [ "$(grep -c '^Produced' "$work/run.out" || true)" -gt "$reports" ]; }
  wait_for 60 more_reports || { echo "FAIL: no frames after F"; cat "$work/run.err"; exit 1; }
  program_finish
  ;;
compare-opengl)
  # Both back-ends at animation time 0 (-paused) in the same display.
  d3d d3d -paused
  test_wait 60 "a still picture" picture_still
  shot "$work/d3d.png"
  program_finish
  program_start gl '\(OpenGL\)' "$native/vyrtest" -nosound -paused
  test_wait 60 "a still picture" picture_still
  shot "$work/gl.png"
  program_finish
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
