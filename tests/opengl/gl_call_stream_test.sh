#!/usr/bin/env bash
# The real program's GL calls, recorded with apitrace on a test display (Mesa), checked
# frame by frame where the picture depends on them.
# Usage: gl_call_stream_test.sh <vyrtest> [mono|benchmark]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../wine/wine_run.sh"  # its picture and wait helpers; no Wine session here
program=$1
mode=${2:-mono}
work=$(mktemp -d /tmp/vyr-glcalls.XXXXXX)
session_dir=$work
test_at_exit 'rm -rf "$work"'
test_display_start 1024x768x24

args=(-nosound -fl 60)
[ "$mode" = benchmark ] && args=(-nosound -benchmark)
test_spawn pid apitrace trace -o "$work/frames.trace" "$program" "${args[@]}" >"$work/out.txt" 2>&1
program_pid=$pid
test_wait 60 "a window titled (OpenGL)" window_or_end '\(OpenGL\)' || exit 1
[ -n "$window" ] || { echo "FAIL: the program ended without a window"; cat "$work/out.txt"; test_display_report; exit 1; }
# Traced frames come slowly on a loaded machine: a fixed four seconds once
# held fewer than the three frames the check needs. Each change of the
# picture is at least one more frame.
frames() { for _ in 1 2 3; do test_wait 60 "a new frame" picture_moving || exit 1; done; }
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
