#!/usr/bin/env bash
# vyrtest.exe -h under Wine writes the banner and help to an inherited file or
# pipe, byte for byte as the native 64-bit program does (the banner of the
# 32-bit build says so), with bare "\n" line ends, and exits with 0.
# Usage: program_console_test.sh <windows build dir> <native vyrtest> [x86_64|i686]
set -euo pipefail
. "$(dirname "$0")/wine_run.sh"
exe=$1/bin/vyrtest.exe
wine_session_start
work=$session_dir
status=0

bits=64
[ "${3:-x86_64}" = i686 ] && bits=32
env -u DISPLAY "$2" -h | sed "1s/(64 bit version)/($bits bit version)/" >"$work/expected.txt"
grep -q "($bits bit version)" "$work/expected.txt" || { echo "native banner is not 64 bit"; exit 1; }
check() {
  if cmp -s "$work/expected.txt" "$work/$1"; then
    echo "PASS: $2"
  else
    echo "FAIL: $2"
    diff <(od -c "$work/expected.txt") <(od -c "$work/$1") | head -n 20
    status=1
  fi
}

code=0
run_wine "$exe" -h >"$work/file.txt" 2>"$work/file.err" || code=$?
check file.txt "-h into a file"
[ $code = 0 ] || { echo "FAIL: exit code $code"; status=1; }
run_wine "$exe" -x --weird -fl 30 -h 2>/dev/null | cat >"$work/pipe.txt"
check pipe.txt "-h with unknown options into a pipe"
if grep -q $'\r' "$work/file.txt" "$work/pipe.txt"; then
  echo "FAIL: carriage returns in the output"
  status=1
fi
exit $status
