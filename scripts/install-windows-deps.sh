#!/usr/bin/env bash
# Installs what the Windows build and its Wine tests need on Debian 12 (on
# top of scripts/install-deps.sh): the mingw-w64 compilers with posix threads,
# GoogleTest's sources, Wine and Xvfb. Skips apt when all is there.
set -euo pipefail

packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  googletest wine64 wine xvfb
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi
