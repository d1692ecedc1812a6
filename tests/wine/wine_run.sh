#!/usr/bin/env bash
# The one Wine runner of the tests: a test display and a Wine prefix of their
# own, the Windows program started in it, its window found, its picture waited
# for and captured, keys pressed, and the exit code checked.
#
# Run: wine_run.sh <program.exe> [arguments]   runs a cross-built test program
#      (a GoogleTest program) in a session of its own, with its exit code.
# Sourced: the functions below; wine_session_start first.
#
# Now and then Wine cannot map its shared user data when a process starts
# ("wine: failed to map the shared user data: c0000018") and the program never
# runs. Such a start is tried once more, and the test's output says so.

. "$(dirname "${BASH_SOURCE[0]}")/../support/test_display.sh"

wine_session_start() {
  # A step that fails ends the test, inside a function too: say which.
  set -E
  # To standard error: a failure inside $(...) must not become the text it gives.
  trap 'echo "FAIL: line $LINENO of $0: $BASH_COMMAND" >&2' ERR
  # The test's own output, for notes from inside commands whose streams go to files.
  exec {wine_notes}>&2
  session_dir=$(mktemp -d /tmp/vyr-wine.XXXXXX)
  export WINEPREFIX=$session_dir/prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
  test_at_exit wine_session_stop
  test_display_start 1024x768x24 || exit 1
  wineboot -i >"$session_dir/wineboot.log" 2>&1 ||
    { echo "FAIL: wineboot -i: $(tail -n 5 "$session_dir/wineboot.log")" >&2; exit 1; }
  wineserver -w
}

# The prefix's wineserver and every Wine process on it end with the test; the
# display and the other sessions go after this, in test_cleanup.
wine_session_stop() {
  [ -n "${program_pid:-}" ] && test_end "$program_pid"
  [ -n "${sim_pid:-}" ] && test_end "$sim_pid"
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "${session_dir:-}" ] && [ -z "${VYR_KEEP_WINE_SESSION:-}" ]; then rm -rf "$session_dir"; fi
  session_dir=
}

# wine_unix_path <Windows path>: the folder inside the prefix it names; fails,
# printing nothing, when Wine cannot tell (a harness writes only inside its prefix).
wine_unix_path() {
  local unix
  unix=$(winepath -u "$1" 2>/dev/null) || return 1
  case $unix in
    "$WINEPREFIX"/*) echo "$unix" ;;
    *) echo "FAIL: Wine named no folder inside $WINEPREFIX for $1 (\"$unix\")" >&2; return 1 ;;
  esac
}

# The local application-data folder of the prefix's user (the port file lives below it).
wine_local_appdata() {
  local windows
  windows=$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r') || return 1
  wine_unix_path "$windows"
}

# start_failed <stderr file>: Wine could not start the program (c0000018).
start_failed() { grep -q 'failed to map the shared user data: c0000018' "$1" 2>/dev/null; }
start_again_note() { echo "RETRY: $1: Wine could not map its shared user data (c0000018), the program never started; starting it once more" >&"${wine_notes:-2}"; }

# run_wine <arguments...>: wine with them, for a program without a window; its
# standard error is passed on once it ended. Started once more after c0000018.
run_wine() {
  local err code attempt
  err=$(mktemp "$session_dir/run-wine.XXXXXX")
  for attempt in 1 2; do
    code=0
    wine "$@" 2>"$err" || code=$?
    if [ $attempt = 1 ] && [ $code != 0 ] && start_failed "$err"; then
      start_again_note "$(basename "$1")"
      continue
    fi
    break
  done
  cat "$err" >&2
  rm -f "$err"
  return $code
}

# The window, once it is mapped; true as well once the program has ended.
window_or_end() {
  # head may close the pipe on a search that prints several windows: not a failure.
  window=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] || ! kill -0 "$program_pid" 2>/dev/null
}

# program_start <name> <window title pattern> <command...>: runs the program with
# its output in $session_dir/<name>.out and .err, and waits for its window and
# its first drawn frame; once more after c0000018. Sets window and program_pid.
program_start() {
  local name=$1 title=$2 attempt
  shift 2
  for attempt in 1 2; do
    test_spawn program_pid "$@" >"$session_dir/$name.out" 2>"$session_dir/$name.err"
    window=
    wait_for 60 window_or_end "$title" || true
    [ -z "$window" ] && [ $attempt = 1 ] && start_failed "$session_dir/$name.err" || break
    wait "$program_pid" 2>/dev/null || true
    start_again_note "$name"
  done
  [ -n "$window" ] || { echo "FAIL: $name: no window"; cat "$session_dir/$name.err"; exit 1; }
  wait_for 60 picture_drawn || { echo "FAIL: $name: no frame drawn"; exit 1; }
}

# shot <file> [window]: the 640 x 400 client area. Wine draws the frame of its
# windows itself: equal borders left, right and below, the caption on top; a
# native window is all client area.
shot() { test_wait 30 "a capture of the window" shot_once "$@"; }
shot_once() {
  local id=${2:-$window} full=xwd:$session_dir/full-$$.xwd w h border
  # xwd reads the window without grabbing the server, which would stall every other client.
  xwd -id "$id" -silent >"${full#xwd:}" 2>/dev/null || return 1
  read -r w h < <(identify -format '%w %h\n' "$full")
  border=$(((w - 640) / 2))
  convert "$full" -crop "640x400+$border+$((h - 400 - border))" +repage "$1"
}

# A frame has been drawn once the client area is not one flat colour.
picture_drawn() {
  shot_once "$session_dir/drawn.png" &&
    [ "$(convert "$session_dir/drawn.png" -format '%[fx:standard_deviation > 0.01]' info:)" = 1 ]
}

# The picture stands still (paused) or moves (running): two shots a moment apart.
picture_still() {
  shot_once "$session_dir/a.png" && sleep 0.3 && shot_once "$session_dir/b.png" &&
    [ "$(compare -metric AE "$session_dir/a.png" "$session_dir/b.png" null: 2>&1)" = 0 ]
}
picture_moving() { ! picture_still; }

press() { xdotool key --window "$window" "$1" 2>/dev/null; }

# program_finish: Escape, then the exit code must be 0.
program_finish() {
  press Escape
  local code=0
  wait "$program_pid" || code=$?
  program_pid=
  [ $code = 0 ] || { echo "FAIL: exit code $code"; exit 1; }
}

# daemon_start <answer>: vyrd-sim ($native/vyrd-sim unless VYRD_SIM) with its
# port file in the prefix user's local application data.
daemon_start() {
  local dir
  dir=$(wine_local_appdata) || exit 1
  dir=$dir/Tarsel/VYR
  mkdir -p "$dir"
  test_spawn sim_pid "${VYRD_SIM:-$native/vyrd-sim}" --port-file-dir "$dir" --answer "$1" >"$session_dir/sim.log" 2>&1
  port_file() { compgen -G "$dir/vyrdport.*"; }
  test_wait 10 "vyrd-sim's port file" port_file || exit 1
}
daemon_stop() {
  test_end "$sim_pid"
  sim_pid=
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  wine_session_start
  set +e
  run_wine "$@"
  exit $?
fi
