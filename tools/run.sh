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
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 +extension GLX -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
export DISPLAY=$display
# No sound device in a headless run: SDL's dummy driver takes the audio quietly
# (the disk driver would print two warnings into the report).
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

"$program" "$@" &
app=$!
sleep "$seconds"
window=$(xdotool search --sync --limit 1 --class VYRTEST 2>/dev/null | head -n 1 || true)
if [ -n "$window" ]; then
  import -window "$window" "$shot" && echo "Screenshot saved to $shot"
else
  import -window root "$shot" && echo "Screenshot (whole screen) saved to $shot"
fi
xdotool key --window "${window:-0}" Escape 2>/dev/null || kill "$app"
wait "$app"
