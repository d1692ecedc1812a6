#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds everything and runs every test:
# the native tests (real X server, real loopback peers, the Windows build under
# Wine), the same native tests under AddressSanitizer and UndefinedBehaviorSanitizer,
# the fuzzers for a bounded time, the .deb check and a smoke run of the benchmarks.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

bash tools/setup.sh
bash tools/build.sh all

# Every process the run starts inherits this mark: what still has it at the end was left behind.
export VYR_TEST_RUN=$$.$(date +%s%N)
# The shared test support notes here every program a test starts; the set-up
# must install each of them (checked at the end).
export VYR_TEST_PROGRAMS=$(mktemp /tmp/vyr-test-programs.XXXXXX)
# A session bus started during the run and still there at its end was left
# behind (an autolaunched one leaves the test's process group).
buses_before=$(pgrep -x dbus-daemon | sort || true)
status=0
passed=0
failed=0
skipped=0
log=$(mktemp)
# Runs one step; ctest steps add their counts, every other step counts as one test.
step() {
  local name=$1
  shift
  echo "=== $name"
  if "$@" 2>&1 | tee "$log"; then rc=0; else rc=1; fi
  local counts skips skipped_list
  counts=$(sed -n -E 's/^[0-9]+% tests passed, ([0-9]+) tests failed out of ([0-9]+)$/\1 \2/p' "$log" | tail -n 1)
  if [ -n "$counts" ]; then
    # CTest counts a skipped test (SKIP_RETURN_CODE) among the passed ones.
    skipped_list=$(grep -E '^\s+[0-9]+ - .* \(Skipped\)$' "$log" || true)
    skips=$(grep -c . <<<"$skipped_list" || true)
    set -- $counts
    failed=$((failed + $1))
    skipped=$((skipped + skips))
    passed=$((passed + $2 - $1 - skips))
    slowest "$log"
    if [ "$skips" != 0 ]; then
      echo "--- skipped, each because this kernel does not run 32-bit programs (the probe kernel_32bit_probe):"
      echo "$skipped_list"
    fi
  elif [ $rc = 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
  if [ $rc != 0 ]; then
    echo "=== FAILED: $name"
    status=1
  fi
}

# slowest <ctest log>: its ten slowest tests, from the "Test #n: name ... Passed 1.23 sec" lines.
# awk reads to the end: a reader that stops early (head) ends sort with SIGPIPE,
# which pipefail and set -e turn into the end of the whole run.
slowest() {
  echo "--- the ten slowest tests"
  sed -n -E 's/^ *([0-9]+\/[0-9]+ )?Test +#[0-9]+: ([^ ]+) .* ([0-9]+\.[0-9]+) sec$/\3 \2/p' "$1" |
    sort -rn | awk 'NR <= 10 { printf "%9.2f s  %s\n", $1, $2 }'
}

# leftovers: the processes of this run still alive (but this shell), one per line.
leftovers() {
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    { [ "$pid" = $$ ] || [ "$pid" = "$BASHPID" ]; } && continue
    tr '\0' '\n' 2>/dev/null <"$environ" | grep -x "VYR_TEST_RUN=$VYR_TEST_RUN" >/dev/null || continue
    # Not this loop's own tr and grep, which are gone by the time their pids are read.
    ps -o pid=,args= -p "$pid" 2>/dev/null || true
  done
  # A session bus a D-Bus client autolaunched (dbus-daemon --fork) during the run.
  for pid in $(pgrep -x dbus-daemon); do
    grep -qx "$pid" <<<"$buses_before" && continue
    ps -o args= -p "$pid" 2>/dev/null | grep -q -- '--fork' && ps -o pid=,args= -p "$pid" 2>/dev/null
  done
  true
}

step "native tests" ctest --test-dir build/native --output-on-failure -j 2 --timeout 600
# Mesa and Wine are not ours: leak reports from inside them are not findings.
# Picture comparisons of two programs' paused frames are left to the native run.
step "sanitizer tests" env ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/asan --output-on-failure -j 2 --timeout 900 -LE "wine|picture"
for extra in tests/fuzz/run.sh tests/packaging/check-deb.sh tests/packaging/check-zip.sh bench/smoke.sh; do
  [ -x "$extra" ] && step "$extra" bash "$extra"
done

rm -f "$log"
step "the programs the tests started come from the set-up's packages" \
  python3 tools/check-test-programs.py "$VYR_TEST_PROGRAMS" tools/packages.txt "$here"
rm -f "$VYR_TEST_PROGRAMS"
# A wineserver or a helper may take a moment to go after its test: wait for that, boundedly.
left=
for _ in $(seq 100); do
  left=$(leftovers)
  [ -z "$left" ] && break
  sleep 0.1
done
if [ -n "$left" ]; then
  echo "=== FAILED: processes the tests started are still running:"
  echo "$left"
  failed=$((failed + 1))
  status=1
fi
echo "=== summary"
if [ $skipped = 0 ]; then
  echo "tests: $passed passed, $failed failed"
else
  # Only the tests of the 32-bit Windows build may skip, and only for this.
  echo "tests: $passed passed, $failed failed, $skipped skipped (this kernel does not run 32-bit programs)"
fi
exit $status
