#!/usr/bin/env bash
# The Windows .zip files: cpack makes them in both Windows builds, and each
# holds the program, its soundtrack, the example configuration and a CRLF
# readme. The x86_64 one, unpacked into the folder the program falls back to
# in a fresh Wine prefix (no VYR_ROOT, no registry value), starts under Wine,
# prints its report and plays its soundtrack from there.
# Usage: tests/packaging/check-zip.sh [x86_64 build dir] [i686 build dir]
#        (default: build/win64 build/win32)
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
fail() {
  echo "FAIL: check-zip: $*"
  exit 1
}

zips=()
for build in "${1:-$here/build/win64}" "${2:-$here/build/win32}"; do
  [ -f "$build/CPackConfig.cmake" ] || fail "no CPack configuration in $build (configure and build it first)"
  log=$(cd "$build" && cpack -G ZIP 2>&1) || { echo "$log"; fail "cpack in $build"; }
  zip=$(ls -t "$build"/packages/vyrtest-*-win*.zip 2>/dev/null | head -n 1)
  [ -n "$zip" ] || fail "cpack made no .zip in $build"
  top=$(basename "$zip" .zip)
  for f in bin/vyrtest.exe share/vyr/sounds/soundtrack.wav conf/vyr.conf.example README.txt; do
    unzip -l "$zip" "$top/$f" >/dev/null || fail "$(basename "$zip") holds no $top/$f"
  done
  [ "$(unzip -p "$zip" "$top/README.txt" | grep -c $'\r$')" = "$(unzip -p "$zip" "$top/README.txt" | wc -l)" ] ||
    fail "$top/README.txt has lines without CRLF"
  echo "package: $zip"
  zips+=("$zip")
done

. "$here/tests/wine/wine_run.sh"
wine_session_start
work=$session_dir
# With neither VYR_ROOT nor the server's registry value, the program looks in
# the 32-bit program-files folder.
programs=$(wine_unix_path 'C:\Program Files (x86)') || fail "Wine could not name its program-files folder"
mkdir -p "$programs/Tarsel"
unzip -q "${zips[0]}" -d "$programs/Tarsel" || fail "unzip ${zips[0]}"
mv "$programs/Tarsel/$(basename "${zips[0]}" .zip)" "$programs/Tarsel/vyr"
folder=$(winepath -w "$programs/Tarsel/vyr")

cd "$work"
test_spawn pid env -u VYR_ROOT WINEDEBUG=trace+winmm,trace+mmio wine "$programs/Tarsel/vyr/bin/vyrtest.exe" -fl 30 \
  >out.txt 2>err.txt
# The report ends with the ON/OFF line; the soundtrack starts right after it.
started() { grep -qE '^VYR (ON|OFF)$' out.txt && grep -q 'proc_PlaySound SoundName=' err.txt || ! kill -0 "$pid"; }
test_wait 60 "the report's ON/OFF line and the soundtrack's start" started || fail "the program did not start its soundtrack"
test_end "$pid"  # what counts is what it printed and played so far

grep -q '^TARSEL VYR .* - Test Application (64 bit version)$' out.txt || { cat out.txt; fail "no banner"; }
grep -qE '^VYR (ON|OFF)$' out.txt || { cat out.txt; fail "no VYR ON/OFF line: the report did not appear"; }
played=$(sed -n 's/.*proc_PlaySound SoundName=L"\(.*\)" !.*/\1/p' err.txt | head -n 1 | sed 's/\\\\/\\/g')
[ "$played" = "$folder\\share\\vyr\\sounds\\soundtrack.wav" ] || fail "PlaySoundA was given '$played', not the soundtrack in $folder"
grep -q 'mmioDescend ckid="data"' err.txt || fail "Wine did not read the soundtrack's samples"
echo "PASS: check-zip: $(basename "${zips[0]}") unpacked into $folder runs under Wine and plays its soundtrack; $(basename "${zips[1]}") holds the same files"
