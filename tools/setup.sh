#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12 (as root), and
# unpacks Debian's glew source package for the Windows build into build/deps/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export DEBIAN_FRONTEND=noninteractive

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

packages=$(grep -v -E '^\s*(#|$)' "$here/tools/packages.txt" | tr '\n' ' ')
# Packages named with ":i386" (32-bit Wine) need Debian's i386 architecture,
# added before the package lists are read.
if grep -q ':i386' <<<"$packages" && ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
fi
# An installed package is listed both as its name and as name:architecture;
# dpkg-query prints nothing for packages it has never heard of.
installed=$(dpkg-query -W -f='${Package} ${Architecture} ${Status}\n' $packages 2>/dev/null |
  awk '$NF == "installed" {print $1; print $1 ":" $2}' || true)
missing=
for p in $packages; do grep -qx "$p" <<<"$installed" || missing="$missing $p"; done
if [ -n "$(echo $missing)" ]; then
  as_root apt-get update
  as_root apt-get install -y --no-install-recommends $packages
fi

# sway refuses to run as root: the tests' Wayland desktops run it as this user
# (tests/support/wayland_desktop.py).
if ! id vyr-desktop >/dev/null 2>&1; then
  as_root useradd --system --create-home --shell /usr/sbin/nologin vyr-desktop
fi

if [ "${VYR_SKIP_WINDOWS:-0}" != 1 ]; then
  bash "$here/tools/fetch-glew-source.sh" "$here/build/deps"
fi
