#!/usr/bin/env bash
# Unpacks Debian's glew source package into <destdir>/glew-src for the Windows
# build. The deb-src entry is derived from the machine's own apt sources.
set -euo pipefail
dest=${1:?usage: $0 <destdir>}
[ -f "$dest/glew-src/src/glew.c" ] && exit 0
mkdir -p "$dest"
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
list=/etc/apt/sources.list.d/vyr-deb-src.sources
if [ ! -f "$list" ]; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | as_root tee "$list" >/dev/null
  else
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
      as_root tee /etc/apt/sources.list.d/vyr-deb-src.list >/dev/null
  fi
  as_root apt-get update
fi
cd "$dest"
apt-get source --download-only glew
rm -rf glew-src
dpkg-source -x glew_*.dsc glew-src
