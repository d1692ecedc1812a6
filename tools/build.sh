#!/usr/bin/env bash
# Builds the native program (build/native), the Windows programs (build/win64
# and build/win32, the shipped 32-bit build, both tested under Wine; the test
# programs are built for x86_64 only) and
# the sanitizer build of the native tests (build/asan).
# Usage: tools/build.sh [native|windows|asan|all]   (default: all)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
what=${1:-all}
jobs=$(nproc)
glew="$here/build/deps/glew-src"

native() {
  cmake -G Ninja -S "$here" -B "$here/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVYR_WINDOWS_BUILD_DIR="$here/build/win64" -DVYR_WINDOWS32_BUILD_DIR="$here/build/win32"
  cmake --build "$here/build/native" -j "$jobs"
}

windows() {
  for arch in x86_64 i686; do
    dir=$here/build/win64; [ $arch = i686 ] && dir=$here/build/win32
    tests=ON; [ $arch = i686 ] && tests=OFF
    cmake -G Ninja -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-mingw-$arch.cmake" \
      -DGLEW_SOURCE_DIR="$glew" -DVYR_HOST_TOOLS_DIR="$here/build/native/bin" -DVYR_BUILD_TESTS=$tests
    cmake --build "$dir" -j "$jobs"
  done
}

asan() {
  CC=clang CXX=clang++ cmake -G Ninja -S "$here" -B "$here/build/asan" -DCMAKE_BUILD_TYPE=Debug -DVYR_SANITIZE=ON
  cmake --build "$here/build/asan" -j "$jobs"
}

case $what in
  native) native ;;
  windows) windows ;;
  asan) asan ;;
  all) native; windows; asan ;;
  *) echo "usage: $0 [native|windows|asan|all]" >&2; exit 2 ;;
esac
