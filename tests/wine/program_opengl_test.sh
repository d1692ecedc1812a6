#!/usr/bin/env bash
# vyrtest.exe on its default OpenGL path under Wine (Wine's opengl32 over
# Mesa): it starts, prints its capability report and draws the same picture as
# the native program at the same animation time.
# Usage: program_opengl_test.sh <windows build dir> <native vyrtest> [x86_64|i686]
set -euo pipefail
. "$(dirname "$0")/wine_run.sh"
exe=$1/bin/vyrtest.exe
wine_session_start
work=$session_dir
status=0

# -paused holds the animation at its first frame, so both programs draw the same.
program_start wine 'Test Application \(OpenGL\)' wine "$exe" -nosound -paused
test_wait 60 "a still picture" picture_still
shot "$work/wine.png"
program_finish

bits=64
[ "${3:-x86_64}" = i686 ] && bits=32
python3 - "$work/wine.out" $bits <<'PY' || status=1
import re, sys
text = open(sys.argv[1], "rb").read()
checks = [
    (rb"^TARSEL VYR [0-9.]+ - Test Application \(" + sys.argv[2].encode() + rb" bit version\)\n\n", "banner"),
    (rb"\n - Valid MSAA samples: \d+ \(MSAA is (ON|OFF)\)\n|\n - WGL_ARB_multisample not found \(MSAA is OFF\)\n", "MSAA line"),
    (rb"\nOpenGL Info:\n - GL_VENDOR: [^\n]+\n - GL_RENDERER: [^\n]+\n - GL_VERSION: [^\n]+\n - GL_EXTENSIONS: [^\n]*\n", "OpenGL section"),
    (rb"\nWGL Info:\n", "WGL section"),
    (rb"\nVYR OFF\n\n", "VYR OFF"),
]
ok = True
for pattern, name in checks:
    found = re.search(pattern, text) is not None
    print(("PASS: " if found else "FAIL: ") + name)
    ok &= found
sys.exit(0 if ok else 1)
PY

program_start gl 'Test Application \(OpenGL\)' "$2" -nosound -paused
test_wait 60 "a still picture" picture_still
shot "$work/gl.png"
program_finish
# Both are Mesa underneath; only the window system differs, so the coarse
# composition must agree (see frame_check.py for the cells). A paused frame
# freezes the time at which its first frame ended, not 0: on a loaded machine
# the two programs' first frames differ by up to a few hundred ms, enough to
# move the nearest stars by several cells. An idle machine measures a mean of
# 0.1; the tolerance of the Direct3D 9 comparison (12) leaves room for the load
# while a missing or moved logo, background or overlay still fails.
python3 "$(dirname "$0")/../wine_d3d9/frame_check.py" compare "$work/wine.png" "$work/gl.png" 12 || status=1
exit $status
