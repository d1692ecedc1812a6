#!/usr/bin/env bash
# Writes the picture check's reference frame, assets/reference/check_frame.png,
# with the OpenGL back-end of a native build on a private virtual X server with
# Mesa's software rasteriser (the same every time). Run after a change to the
# scene or its assets, then rebuild: the program carries the file.
# Usage: tools/refgen/make-reference.sh [native build dir] [output file]
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build/native}
out=${2:-$here/assets/reference/check_frame.png}
cmake --build "$build" --target vyr-refgen >/dev/null
. "$here/tests/support/test_display.sh"
test_display_start
LIBGL_ALWAYS_SOFTWARE=1 "$build/bin/vyr-refgen" "$out"
echo "wrote $out"
