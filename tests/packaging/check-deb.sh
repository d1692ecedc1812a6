#!/usr/bin/env bash
# The .deb of the native build: lintian finds no error in it; it installs with
# dpkg; the vyrtest command, started without VYR_ROOT from an unrelated folder,
# prints its help, and finds and plays its soundtrack through the /usr/bin link
# (SDL's disk audio driver captures what it plays); the manual page, the menu
# entry and the theme icons are in place. The package is removed again
# afterwards, and its command with it.
# Usage: tests/packaging/check-deb.sh [native build dir]   (default: build/native)
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
. "$here/tests/support/test_display.sh"
build=${1:-$here/build/native}
work=$(mktemp -d /tmp/vyr-check-deb.XXXXXX)
installed_by_us=

finish() {
  if [ -n "$installed_by_us" ]; then
    dpkg -r vyrtest >"$work/remove.log" 2>&1 || { echo "FAIL: check-deb: dpkg -r vyrtest"; cat "$work/remove.log"; }
  fi
  rm -rf "$work"
}
test_at_exit finish
fail() {
  echo "FAIL: check-deb: $*"
  exit 1
}

if [ "$(id -u)" != 0 ]; then
  echo "SKIP: check-deb: dpkg -i needs root"
  exit 0
fi
[ -f "$build/CPackConfig.cmake" ] || fail "no CPack configuration in $build (configure and build it first)"

(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls -t "$build"/packages/vyrtest_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no .deb"
echo "package: $deb"
dpkg-deb -f "$deb" Depends

# Errors only: the warnings and notes that stay are explained in the README.
lintian "$deb" >"$work/lintian.txt" 2>&1
cat "$work/lintian.txt"
grep -q '^E: ' "$work/lintian.txt" && fail "lintian reports errors"

if ! dpkg -i "$deb" >"$work/install.log" 2>&1; then
  # Missing runtime dependencies: let apt bring them in and finish the install.
  apt-get install -f -y >>"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "dpkg -i $deb"; }
fi
installed_by_us=1
dpkg -s vyrtest 2>/dev/null | grep -q '^Status: install ok installed' || { cat "$work/install.log"; fail "vyrtest is not installed"; }

program=/usr/bin/vyrtest
wav=$(dpkg -L vyrtest | grep '/share/vyr/sounds/soundtrack.wav$' | head -n 1)
[ -L "$program" ] && [ -x "$program" ] || fail "no /usr/bin/vyrtest link to the program"
[ -f "$wav" ] || fail "the package holds no share/vyr/sounds/soundtrack.wav"
dpkg -L vyrtest | grep -q '/conf/vyr.conf.example$' || fail "the package holds no conf/vyr.conf.example"
echo "installed: $program -> $(readlink "$program")"

(cd "$work" && env -u DISPLAY vyrtest -h >"$work/help.txt") || fail "vyrtest -h ended with $?"
grep -q $'^-fl <num>\tLimits the number of frames' "$work/help.txt" || { cat "$work/help.txt"; fail "vyrtest -h printed no help"; }
if command -v man >/dev/null; then
  man -w vyrtest >/dev/null || fail "man -w vyrtest finds no manual page"
else
  [ -f /usr/share/man/man1/vyrtest.1.gz ] || fail "no manual page"
fi
desktop-file-validate /usr/share/applications/vyrtest.desktop || fail "the menu entry does not validate"
for n in 16 32 48 64; do
  file "/usr/share/icons/hicolor/${n}x$n/apps/vyrtest.png" | grep -q "PNG image data, $n x $n," || fail "no ${n}x$n icon"
done

# Ended by the timeout; what counts is what it played meanwhile.
test_display_start || fail "no test display"
(cd "$work" && env -u VYR_ROOT SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/audio.raw" LIBGL_ALWAYS_SOFTWARE=1 \
  timeout -s TERM -k 5 8 "$program" -fl 30 >"$work/out.txt" 2>"$work/err.txt")
code=$?
[ "$code" = 137 ] && fail "the installed program did not end on SIGTERM"
[ "$code" = 124 ] || [ "$code" = 0 ] || { cat "$work/out.txt" "$work/err.txt"; fail "the installed program ended with $code"; }
grep -q "Test Application" "$work/out.txt" || { cat "$work/out.txt" "$work/err.txt"; fail "no banner from the installed program"; }
[ -s "$work/audio.raw" ] || { cat "$work/err.txt"; fail "the installed program played nothing: it did not find its soundtrack"; }

python3 - "$wav" "$work/audio.raw" <<'PY' || fail "what was played is not the soundtrack from its beginning"
import struct, sys
wav = open(sys.argv[1], "rb").read()
played = open(sys.argv[2], "rb").read()
at = 12
data = b""
while at + 8 <= len(wav):
    tag, size = wav[at:at + 4], struct.unpack("<I", wav[at + 4:at + 8])[0]
    if tag == b"data":
        data = wav[at + 8:at + 8 + size]
        break
    at += 8 + size + (size & 1)
if not data:
    sys.exit("no data chunk")
# SDL writes silence while a freshly opened device is still paused.
def silence(b):
    i = 0
    while i + 1 < len(b) and b[i] == 0 and b[i + 1] == 0:
        i += 2
    return i
played = played[silence(played):]
data = data[silence(data):] + data[:silence(data)]
if not played:
    sys.exit("only silence")
loops = len(played) // len(data) + 1
expected = (data * loops)[:len(played)]
if played != expected:
    first = next(i for i in range(len(played)) if played[i] != expected[i])
    sys.exit("differs at byte %d of %d" % (first, len(played)))
print("played %d bytes (%.1f s) of the soundtrack" % (len(played), len(played) / 44100.0))
PY

dpkg -r vyrtest >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "dpkg -r vyrtest"; }
installed_by_us=
[ -e "$program" ] || [ -e /usr/share/applications/vyrtest.desktop ] && fail "dpkg -r left the command or the menu entry"

echo "PASS: check-deb: $(basename "$deb") passes lintian, installs, and the vyrtest command prints its help and plays its soundtrack without VYR_ROOT"
