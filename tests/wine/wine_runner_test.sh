#!/usr/bin/env bash
# The Wine runner's second start: a stand-in `wine` on the PATH fails the way
# Wine does when it cannot map its shared user data ("c0000018") a given
# number of times, then runs its arguments as a native command. A program
# that failed so is started once more, and only once, and the output says so;
# any other failure is not retried.
# Usage: wine_runner_test.sh <native vyrtest>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
native=$1
. "$here/wine_run.sh"
fake=$(mktemp -d /tmp/vyr-fake-wine.XXXXXX)
test_at_exit 'rm -rf "$fake"'
cat >"$fake/wine" <<'SH'
#!/usr/bin/env bash
n=$(($(cat "$FAKE_WINE_COUNT" 2>/dev/null || echo 0) + 1))
echo $n >"$FAKE_WINE_COUNT"
if [ $n -le "${FAKE_WINE_FAILURES:-0}" ]; then
  echo "${FAKE_WINE_MESSAGE:-wine: failed to map the shared user data: c0000018}" >&2
  exit 1
fi
exec "$@"
SH
printf '#!/bin/sh\nexit 0\n' >"$fake/wineboot"
cp "$fake/wineboot" "$fake/wineserver"
chmod +x "$fake/wine" "$fake/wineboot" "$fake/wineserver"
export PATH=$fake:$PATH FAKE_WINE_COUNT=$fake/count

wine_session_start
status=0
fail() {
  echo "FAIL: $*"
  status=1
}
notes=$session_dir/notes
# case_run <name> <failures> <expected starts> <expected exit code> [message]
case_run() {
  local name=$1 failures=$2 starts=$3 code=$4
  rm -f "$FAKE_WINE_COUNT"
  local got=0
  FAKE_WINE_FAILURES=$failures FAKE_WINE_MESSAGE=${5:-} run_wine echo ran 2>"$notes" >"$session_dir/out" || got=$?
  [ "$(cat "$FAKE_WINE_COUNT")" = "$starts" ] || fail "$name: $(cat "$FAKE_WINE_COUNT") starts, expected $starts"
  [ $got = "$code" ] || fail "$name: exit code $got, expected $code"
  [ $status = 0 ] && echo "PASS: $name"
}
# The notes go to the test's own standard error: catch them there.
exec {wine_notes}>"$notes.all"
case_run "a failed start is retried" 1 2 0
case_run "only once" 2 2 1
case_run "another failure is not retried" 1 1 1 "wine: could not load kernel32.dll, status c0000135"
case_run "a good start is not repeated" 0 1 0
# One note for each of the first two cases.
[ "$(grep -c '^RETRY: echo: .*c0000018' "$notes.all")" = 2 ] || fail "run_wine: RETRY lines: $(cat "$notes.all")"

# A program with a window: program_start waits for it after the second start.
rm -f "$FAKE_WINE_COUNT"
FAKE_WINE_FAILURES=1 program_start window 'Test Application' wine "$native" -nosound -paused
[ "$(cat "$FAKE_WINE_COUNT")" = 2 ] || fail "program_start: $(cat "$FAKE_WINE_COUNT") starts"
grep -q '^RETRY: window: .*c0000018' "$notes.all" || fail "program_start: no RETRY line"
program_finish
[ $status = 0 ] && echo "PASS: program_start starts it once more and finds its window"
cat "$notes.all"
exit $status
