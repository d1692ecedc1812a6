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
n=200
while [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null || true' EXIT
for _ in $(seq 100); do xdpyinfo -display :$n >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=:$n LIBGL_ALWAYS_SOFTWARE=1 "$build/bin/vyr-refgen" "$out"
echo "wrote $out"
