#!/usr/bin/env bash
# Installs what building, testing and the demo need on a Debian 12 machine.
# Skips apt entirely when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git dpkg-dev file
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format
  libcairo2-dev libsndfile1-dev libpng-dev libx11-dev libxext-dev libxtst-dev
  libfontconfig-dev fonts-dejavu-core
  xvfb x11-utils locales
  lv2-dev liblilv-dev lilv-utils sordi
  jalv jackd2
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

# A locale with a decimal comma, for the parameter display test.
if ! locale -a 2>/dev/null | grep -qi '^de_DE.utf8$'; then
  localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "warning: could not generate de_DE.UTF-8"
fi
