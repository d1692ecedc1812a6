#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer (with ASan and UBSan) and runs
# each for a bounded time. Usage: tests/fuzz/run.sh [seconds per target, default 30]
# Build folder: $VYR_FUZZ_BUILD_DIR (default build/fuzz).
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-${VYR_FUZZ_SECONDS:-30}}
out=${VYR_FUZZ_BUILD_DIR:-$here/build/fuzz}
mkdir -p "$out"
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I"$here")

build() {
  local target=$1; shift
  clang++ "${flags[@]}" -o "$out/$target" "$here/tests/fuzz/$target.cpp" "$@"
}
build ini_file_fuzz "$here/common/ini_file.cpp" "$here/common/ini_file_posix.cpp" "$here/common/strings.cpp"
build setting_values_fuzz "$here/common/setting_values.cpp" "$here/common/strings.cpp"
build project_load_fuzz "$here"/scene/{data_stream,texture,object3d,project3d}.cpp

status=0
for target in ini_file_fuzz setting_values_fuzz project_load_fuzz; do
  seeds=$here/tests/fuzz/corpus/${target%_fuzz}
  corpus=$out/corpus-$target
  mkdir -p "$corpus"
  echo "--- $target for ${seconds}s"
  # close_fd_mask=2: the INI reader reports every bad line on stderr; libFuzzer keeps its own copy.
  if ! (cd "$out" && ASAN_OPTIONS=detect_leaks=1 "./$target" -max_total_time="$seconds" -timeout=10 \
        -close_fd_mask=2 -max_len=4096 -print_final_stats=1 "$corpus" "$seeds" 2>&1 | tail -n 12); then
    status=1
  fi
  # A crash leaves crash-* / leak-* / timeout-* inputs next to the binary.
  if ls "$out"/crash-* "$out"/leak-* "$out"/timeout-* >/dev/null 2>&1; then
    echo "--- $target found failing inputs in $out"
    status=1
  fi
done
exit $status
