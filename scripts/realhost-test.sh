#!/usr/bin/env bash
# The plug-in inside a real Linux VST 2 host: Ardour 7's headless Lua session
# tool on its dummy backend (tests/realhost).
#
#   scripts/realhost-test.sh --install   only install the host (Debian package
#                                        ardour), so a later configure
#                                        registers the test with CTest
#   scripts/realhost-test.sh [BUILD]     install, build what the test needs in
#                                        BUILD (default build-realhost), run it
#
# Runs as root with no standard input; every step is bounded in time.
set -euo pipefail
cd "$(dirname "$0")/.."

install_host() {
  if command -v ardour7-lua >/dev/null && [ -x /usr/lib/ardour7/ardour-vst-scanner ]; then
    return 0
  fi
  if [ "$(id -u)" != 0 ]; then
    echo "realhost: ardour7-lua is missing and installing it needs root (apt-get install ardour)" >&2
    return 1
  fi
  echo "realhost: installing ardour"
  timeout 600 apt-get update -q </dev/null
  DEBIAN_FRONTEND=noninteractive timeout 1200 apt-get install -y -q ardour </dev/null
  command -v ardour7-lua >/dev/null
}

install_host
[ "${1:-}" = "--install" ] && exit 0

build=${1:-build-realhost}
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLONKRIFT_BENCH=OFF >/dev/null
if ctest --test-dir "$build" -N -R '^realhost_ardour$' | grep -q realhost_ardour; then
  cmake --build "$build" -j"$jobs" --target plonkrift6v2 plonkrift-render realhost-check
  ctest --test-dir "$build" --output-on-failure --timeout 900 -R '^realhost_ardour$'
else
  # tests/realhost is not part of the build tree: build its checker by hand.
  cmake --build "$build" -j"$jobs" --target plonkrift6v2 plonkrift-render
  mkdir -p "$build/realhost"
  c++ -std=c++20 -O2 -Wall -Wextra -Werror tests/realhost/realhost_check.cpp \
    $(pkg-config --cflags --libs sndfile) -o "$build/realhost/realhost-check"
  timeout -k 10 900 bash tests/realhost/run-realhost.sh "$build/plonkrift6v2.so" \
    "$build/tools/render/plonkrift-render" "$build/realhost/realhost-check" "$build/realhost/work"
fi
