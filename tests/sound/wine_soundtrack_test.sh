#!/usr/bin/env bash
# The Windows program under Wine looks for share\vyr\sounds\soundtrack.wav
# below VYR_ROOT: with the file there it hands that path to PlaySoundA (Wine's
# winmm and mmio traces show the call and the file being read), starts it
# again on resume and on M, and stops it on pause and on M; without the file it
# never asks for a sound by name. Both runs end with exit code 0.
# Usage: wine_soundtrack_test.sh <windows build dir> [soundtrack.wav]
# Exit code 77 (skipped) when the Windows build is not there.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
exe=$1/bin/vyrtest.exe
wav=$1/share/vyr/sounds/soundtrack.wav
[ -f "$wav" ] || wav=${2:-}
if [ ! -f "$exe" ] || [ ! -f "$wav" ]; then
  echo "SKIP: no Windows build with its soundtrack in $1"
  exit 77
fi
. "$here/wine_d3d9/wine_session.sh"
wine_session_start
work=$session_dir
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

mkdir -p "$work/with/share/vyr/sounds" "$work/without"
cp "$wav" "$work/with/share/vyr/sounds/soundtrack.wav"

# run <name> <VYR_ROOT folder>: start, pause and resume, M twice, Escape.
run() {
  local name=$1 root
  root=$(winepath -w "$2" 2>/dev/null)
  VYR_ROOT=$root WINEDEBUG=trace+winmm,trace+mmio wine "$exe" -fl 30 >"$work/$name.out" 2>"$work/$name.err" &
  local pid=$!
  local window
  window=$(timeout 60 xdotool search --sync --onlyvisible --name '\(OpenGL\)' 2>/dev/null | head -n 1)
  if [ -z "$window" ]; then
    fail "$name: no window"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null || true
    return
  fi
  sleep 2
  for key in space space m m; do
    xdotool key --window "$window" "$key" 2>/dev/null
    sleep 1
  done
  xdotool key --window "$window" Escape 2>/dev/null
  local code=0
  wait "$pid" || code=$?
  [ $code = 0 ] || fail "$name: exit code $code"
  grep -q "Test Application" "$work/$name.out" || fail "$name: no banner"
}

run with "$work/with"
err=$work/with.err
expected=$(winepath -w "$work/with/share/vyr/sounds/soundtrack.wav")
# The trace doubles each backslash.
played=$(sed -n 's/.*proc_PlaySound SoundName=L"\(.*\)" !.*/\1/p' "$err" | head -n 1 | sed 's/\\\\/\\/g')
[ "$played" = "$expected" ] || fail "with the file: PlaySoundA was given '$played', not '$expected'"
grep -q 'mmioDescend ckid="data"' "$err" || fail "with the file: Wine did not read its samples"
# Looping starts (SND_ASYNC | SND_LOOP) and stops (SND_ASYNC alone): the start,
# pause, resume, M, M.
starts=$(grep -c 'MULTIMEDIA_PlaySound .*fdwSound=00000009' "$err" || true)
stops=$(grep -c 'MULTIMEDIA_PlaySound .*fdwSound=00000001' "$err" || true)
[ "$starts" = 3 ] || fail "with the file: $starts looping starts, expected 3"
[ "$stops" = 2 ] || fail "with the file: $stops stops, expected 2"
[ $status = 0 ] && echo "PASS: with the file below VYR_ROOT"

run without "$work/without"
if grep -q 'MULTIMEDIA_PlaySound .*fdwSound=00000009' "$work/without.err"; then
  fail "without the file: a sound was started"
fi
if grep -qi "soundtrack\|sound" "$work/without.out"; then
  fail "without the file: the program printed about it"
fi
[ $status = 0 ] && echo "PASS: without the file"
exit $status
