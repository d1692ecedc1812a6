#!/bin/sh
# Whether this kernel runs 32-bit programs, asked once per test run; the tests
# of the shipped 32-bit Windows build run only where it does, and are skipped
# (77) with the reason where it does not. Never skipped for any other cause:
# a missing 32-bit Wine is a failure of the tests, not a skip.
#   kernel_32bit.sh probe <answer file>          the CTest fixture, once per run
#   kernel_32bit.sh run <answer file> <test...>  a 32-bit test, through the answer
# VYR_TEST_KERNEL_32BIT=no (or yes) forces the probe's answer, to try the skip
# path on a machine that runs 32-bit programs.
set -u
reason="this kernel does not run 32-bit programs"
what=$1 answer=$2
shift 2
case $what in
probe)
  case ${VYR_TEST_KERNEL_32BIT:-} in
  no) echo "no: $reason (VYR_TEST_KERNEL_32BIT=no)" >"$answer" ;;
  yes) echo "yes (VYR_TEST_KERNEL_32BIT=yes)" >"$answer" ;;
  *)
    # The 32-bit Wine loader is the 32-bit program every such test starts
    # first; only "Exec format error" (ENOEXEC) means the kernel cannot.
    if python3 - /usr/lib/wine/wine <<'PY'; then echo yes >"$answer"; else echo "no: $reason" >"$answer"; fi
import errno, subprocess, sys
try:
    subprocess.run([sys.argv[1], "--version"], capture_output=True, timeout=60)
except OSError as e:
    sys.exit(1 if e.errno == errno.ENOEXEC else 0)
PY
    ;;
  esac
  echo "32-bit programs: $(cat "$answer")" ;;
run)
  [ -r "$answer" ] || { echo "FAIL: the 32-bit probe left no answer in $answer" >&2; exit 1; }
  case $(cat "$answer") in
  no:*)
    echo "SKIP: $(sed 's/^no: //' "$answer")"
    exit 77 ;;
  esac
  exec "$@" ;;
*)
  echo "usage: $0 probe|run <answer file> [test...]" >&2
  exit 2 ;;
esac
