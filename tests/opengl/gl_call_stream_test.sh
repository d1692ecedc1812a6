#!/usr/bin/env bash
# The real program's GL calls, recorded with apitrace on Xvfb (Mesa), checked
# frame by frame where the picture depends on them.
# Usage: gl_call_stream_test.sh <vyrtest> [mono|benchmark]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../wine/wine_run.sh"  # its picture and wait helpers; no Wine session here
program=$1
mode=${2:-mono}
work=$(mktemp -d /tmp/vyr-glcalls.XXXXXX)
n=$((500 + RANDOM % 400))
while [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
session_dir=$work
cleanup() { kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
export DISPLAY=:$n
wait_for 30 xdpyinfo

args=(-nosound -fl 60)
[ "$mode" = benchmark ] && args=(-nosound -benchmark)
apitrace trace -o "$work/frames.trace" "$program" "${args[@]}" >"$work/out.txt" 2>&1 &
pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name '\(OpenGL\)' | head -n 1 || true)  # head may close the pipe early
[ -n "$window" ] || { echo "no window"; cat "$work/out.txt"; exit 1; }
# Traced frames come slowly on a loaded machine: a fixed four seconds once
# held fewer than the three frames the check needs. Each change of the
# picture is at least one more frame.
frames() { for _ in 1 2 3; do wait_for 120 picture_moving || { echo "FAIL: no new frame"; exit 1; }; done; }
frames
# F shows the frame-rate text, in the frames drawn after it.
[ "$mode" = mono ] && press f && frames
press Escape
status=0
wait "$pid" || status=$?
[ $status = 0 ] || { echo "exit code $status"; tail -n 20 "$work/out.txt"; exit 1; }

# The frame-rate text's bytes are blobs: dumped beside the listing.
(cd "$work" && apitrace dump --blobs frames.trace >frames.txt 2>/dev/null)
python3 "$here/gl_call_stream_check.py" "$mode" "$work/frames.txt" "$work"
