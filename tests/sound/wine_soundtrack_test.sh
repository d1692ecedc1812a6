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
. "$here/wine/wine_run.sh"
wine_session_start
work=$session_dir
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

mkdir -p "$work/with/share/vyr/sounds" "$work/without"
cp "$wav" "$work/with/share/vyr/sounds/soundtrack.wav"

count() { grep -c "MULTIMEDIA_PlaySound .*fdwSound=0000000$1" "$work/$name.err" || true; }
# key <key> <looping starts> <stops>: with the file, each key is done once the
# trace shows its call; without it, Space is done once the picture stops or moves.
key() {
  press "$1"
  if [ "$name" = with ]; then
    has() { [ "$(count 9)" = "$1" ] && [ "$(count 1)" = "$2" ]; }
    wait_for 60 has "$2" "$3" || fail "$name: after $1: $(count 9) starts and $(count 1) stops, expected $2 and $3"
  elif [ "$1" = space ]; then
    wait_for 60 "$4" || fail "$name: the picture is not $4 after Space"
  fi
}
# run <name> <VYR_ROOT folder>: start, pause and resume, M twice, Escape.
run() {
  name=$1
  local root
  root=$(winepath -w "$2" 2>/dev/null)
  program_start "$name" '\(OpenGL\)' env VYR_ROOT="$root" WINEDEBUG=trace+winmm,trace+mmio wine "$exe" -fl 30
  key space 1 1 picture_still
  key space 2 1 picture_moving
  key m 2 2
  key m 3 2
  program_finish
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
[ "$(count 9) $(count 1)" = "3 2" ] || fail "with the file: $(count 9) looping starts and $(count 1) stops, expected 3 and 2"
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
