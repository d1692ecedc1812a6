#!/usr/bin/env bash
# Sets up, builds and runs vyrtest. With a display it opens the window; without
# one it runs the program under a virtual X server for about 12 seconds, prints
# the console report and saves a screenshot (build/vyrtest-screenshot.png).
# Extra arguments go to the program, e.g. tools/run.sh -fl 60
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
VYR_SKIP_WINDOWS=1 bash tools/setup.sh
bash tools/build.sh native
program=build/native/bin/vyrtest

if [ -n "${DISPLAY:-}" ]; then
  exec "$program" "$@"
fi

seconds=${VYR_RUN_SECONDS:-12}
shot=$here/build/vyrtest-screenshot.png
. "$here/tests/support/test_display.sh"
test_display_start
# No sound device in a headless run: SDL's dummy driver takes the audio quietly
# (the disk driver would print two warnings into the report).
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

test_spawn app "$program" "$@"
sleep "$seconds"  # the run the user asked for, not a wait for something
window=$(xdotool search --sync --limit 1 --class VYRTEST 2>/dev/null | head -n 1 || true)
# xwd reads the picture without grabbing the server.
if [ -n "$window" ]; then
  xwd -id "$window" -silent | convert xwd:- "$shot" && echo "Screenshot saved to $shot"
else
  xwd -root -silent | convert xwd:- "$shot" && echo "Screenshot (whole screen) saved to $shot"
fi
xdotool key --window "${window:-0}" Escape 2>/dev/null || kill "$app"
wait "$app"
