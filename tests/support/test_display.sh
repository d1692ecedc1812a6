# The one way a shell test gets an X server, and starts what runs on it.
# Sourced:
#   . tests/support/test_display.sh
#   test_display_start 1024x768x24          # Xvfb of the test's own; sets DISPLAY
#   test_spawn program_pid "$program" -fl 60 # in a session of its own, ended with the test
#   test_wait 30 "the window" xdotool search --name VYRTEST
#
# The server picks its own display number (-displayfd), so tests started at the
# same moment never share one. Everything started through test_spawn (the
# server included) runs in a session of its own that ends when the test ends,
# on success, failure, Ctrl+C and time-out: the EXIT trap kills each session,
# and if the shell itself is killed, the kernel ends them (PR_SET_PDEATHSIG).
# The display has a session bus of its own (DBUS_SESSION_BUS_ADDRESS), so no
# D-Bus client on it autolaunches one that would outlive the test.
#
# Sourcing this file also puts support/wine-bin first on PATH (64-bit Windows
# programs through Wine's 64-bit loader) and, when VYR_TEST_PROGRAMS names a
# file, notes there every program the test starts (tools/test.sh checks that
# the set-up installs each of them).

test_support_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
case ":$PATH:" in
  *":$test_support_dir/wine-bin:"*) ;;
  *) export PATH="$test_support_dir/wine-bin:$PATH" ;;
esac

declare -A test_programs_noted=()
# test_note_program <name or path>: notes it once, if it is a program file.
test_note_program() {
  local name=$1 path
  [ -n "$name" ] && [ -z "${test_programs_noted[$name]:-}" ] || return 0
  test_programs_noted[$name]=1
  case $name in */*) ;; *) [ "$(type -t -- "$name")" = file ] || return 0 ;; esac
  path=$(type -P -- "$name" 2>/dev/null) || return 0
  echo "$path" >>"$VYR_TEST_PROGRAMS"
}
# The DEBUG trap's look at each command: its first word, when written out (a
# word from a variable is noted where the test starts it, as test_spawn does).
test_note_command() {
  local word=${1%%[[:space:]]*}
  case $word in
    '' | *'$'* | *'"'* | *"'"* | *'='* | *'('* | '[' | '[[' | '{' | '!') return 0 ;;
  esac
  [ -n "${test_programs_noted[$word]:-}" ] || test_note_program "$word"
}
if [ -n "${VYR_TEST_PROGRAMS:-}" ]; then
  set -o functrace
  trap 'test_note_command "$BASH_COMMAND"' DEBUG
fi

test_sessions=()
test_exit_hooks=()
test_display_pid=

# test_at_exit <command>: run (eval'd) when the test ends, before its sessions are killed.
test_at_exit() {
  test_exit_hooks+=("$1")
  test_cleanup_trap
}

test_cleanup_trap() {
  trap test_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

# test_spawn <variable> <command...>: starts the command in the background in a
# session of its own and stores its pid (= its session and group id) in <variable>.
# The caller redirects its streams: test_spawn pid cmd >out 2>err
test_spawn() {
  local -n pid_variable=$1
  shift
  [ -z "${VYR_TEST_PROGRAMS:-}" ] || test_note_program "$1"
  setsid setpriv --pdeathsig KILL -- "$@" &
  pid_variable=$!
  test_sessions+=("$pid_variable")
  test_cleanup_trap
}

# test_end <pid>: ends a session started by test_spawn: TERM, KILL after 5 s.
test_end() {
  local pid=$1 deadline=$((SECONDS + 5)) parent
  # A number in use by a process that is not this shell's child was given out
  # again: not ours to signal.
  parent=$(ps -o ppid= -p "$pid" 2>/dev/null | tr -d ' ' || true)
  [ -z "$parent" ] || [ "$parent" = $$ ] || [ "$parent" = "$BASHPID" ] || return 0
  kill -TERM -- "-$pid" 2>/dev/null || return 0
  while kill -0 -- "-$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
  kill -KILL -- "-$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

test_cleanup() {
  local code=$? i
  trap - EXIT INT TERM
  for ((i = ${#test_exit_hooks[@]} - 1; i >= 0; i--)); do eval "${test_exit_hooks[i]}" || true; done
  # Clients first, the server last: a client ended after its server may hang.
  for ((i = ${#test_sessions[@]} - 1; i >= 0; i--)); do test_end "${test_sessions[i]}"; done
  test_sessions=()
  [ -n "${test_display_dir:-}" ] && rm -rf "$test_display_dir"
  exit "$code"
}

# wait_for <seconds> <command...>: polls the command (quietly) until it succeeds; false after the time.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

# test_wait <seconds> <what> <command...>: as wait_for, and says what did not come.
test_wait() {
  local seconds=$1 what=$2
  shift 2
  wait_for "$seconds" "$@" || { echo "FAIL: $what did not come within $seconds s" >&2; return 1; }
}

# test_display_start [screen]: Xvfb on a number it picks, answering; exports DISPLAY.
test_display_start() {
  local screen=${1:-1280x1024x24} number=
  test_display_dir=$(mktemp -d /tmp/vyr-display.XXXXXX)
  mkfifo "$test_display_dir/number"
  # Read-write, so opening it does not block; kept open while the server runs:
  # Xvfb ends if a write to its -displayfd fails.
  exec {test_display_fd}<>"$test_display_dir/number"
  # -noreset: a server that resets when its last client (our own probe) leaves
  # refuses the next one for a moment.
  test_spawn test_display_pid Xvfb -displayfd "$test_display_fd" -screen 0 "$screen" -nolisten tcp -noreset +extension GLX \
    >"$test_display_dir/server.log" 2>&1
  read -r -t 30 -u "$test_display_fd" number || true
  case $number in
    '' | *[!0-9]*)
      echo "FAIL: Xvfb told no display number within 30 s: $(tail -n 5 "$test_display_dir/server.log")" >&2
      return 1 ;;
  esac
  export DISPLAY=:$number
  test_session_bus_start || return 1
  test_wait 30 "an answer from the X server $DISPLAY" xdpyinfo || return 1
  # An answer from a server that is not ours would send the test's programs elsewhere.
  kill -0 "$test_display_pid" 2>/dev/null ||
    { echo "FAIL: Xvfb on $DISPLAY ended: $(tail -n 5 "$test_display_dir/server.log")" >&2; return 1; }
}

# test_session_bus_start: a session bus of the test's own, ended with it; exports its address.
test_session_bus_start() {
  local bus_pid address=
  mkfifo "$test_display_dir/bus-address"
  exec {test_bus_fd}<>"$test_display_dir/bus-address"
  test_spawn bus_pid dbus-daemon --session --nofork --nopidfile --address "unix:path=$test_display_dir/bus" \
    --print-address="$test_bus_fd" >/dev/null 2>&1
  read -r -t 30 -u "$test_bus_fd" address || true
  exec {test_bus_fd}>&-
  [ -n "$address" ] || { echo "FAIL: the session bus told no address within 30 s" >&2; return 1; }
  export DBUS_SESSION_BUS_ADDRESS=$address
}

# test_display_report: the server's state and log, for a test that lost its display.
test_display_report() {
  echo "the test display $DISPLAY: $(kill -0 "$test_display_pid" 2>/dev/null && echo running || echo ended)"
  tail -n 20 "$test_display_dir/server.log"
}
