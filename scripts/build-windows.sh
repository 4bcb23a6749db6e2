#!/usr/bin/env bash
# Builds the plug-in for 64-bit Windows with mingw-w64 on Debian 12:
#
#   ./scripts/build-windows.sh            build-win/plonkrift6v2.dll and the zip for Windows users
#   ./scripts/build-windows.sh --tests    the same in build-win-tests, with the Windows tests run
#                                         under Wine on a private Xvfb server
#
# The editor's stored form (and, for the tests, the Linux renderer and
# screenshot tool the Wine results are held against) come from a native build:
# build-win/native (made here, only the targets needed), or a finished one
# named with --native-build DIR. Everything else is cached in the build
# folders, the Wine prefix included.
set -euo pipefail
cd "$(dirname "$0")/.."

tests=0
native=""
while [ $# -gt 0 ]; do
  case "$1" in
    --tests) tests=1 ;;
    --native-build) native="$2"; shift ;;
    --native-build=*) native="${1#*=}" ;;
    -h|--help) sed -n '2,12p' "$0"; exit 0 ;;
    *) echo "build-windows.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

./scripts/install-deps.sh
./scripts/install-windows-deps.sh

jobs=$(nproc)
out=build-win
[ "$tests" = 1 ] && out=build-win-tests

# What the cross build takes from Linux: the compiled form and presets; the tests also
# hold their results against the Linux library, renderer and screenshots.
native_targets=(plonk_editor_form plonk_factory_presets)
[ "$tests" = 1 ] && native_targets+=(plonkrift6v2 plonkrift-render plonkrift-shot plonkrift-picture)
if [ -z "$native" ]; then
  native=build-win/native
  cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release -DPLONKRIFT_TESTS=OFF -DPLONKRIFT_BENCH=OFF >/dev/null
fi
cmake --build "$native" -j"$jobs" --target "${native_targets[@]}"
native=$(cd "$native" && pwd)

cmake -S . -B "$out" --toolchain cmake/Toolchain-mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DPLONKRIFT_WERROR=ON -DPLONKRIFT_TESTS=$([ "$tests" = 1 ] && echo ON || echo OFF) -DPLONKRIFT_BENCH=OFF \
  -DPLONKRIFT_NATIVE_BUILD="$native" >/dev/null
cmake --build "$out" -j"$jobs"
(cd "$out" && cpack >/dev/null)
echo "built $out/plonkrift6v2.dll and $(ls "$out"/*.zip)"

[ "$tests" = 1 ] || exit 0

# Wine, headless: a private X server and a prefix kept in the build folder
# (made once, about 20 s), with one Wine server for the whole run.
export WINEPREFIX
WINEPREFIX="$(pwd)/$out/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer dialogs
n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=":$n"
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
kill -0 "$xvfb" || { echo "build-windows.sh: Xvfb did not start on :$n" >&2; exit 1; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "making the Wine prefix $WINEPREFIX"
  wineboot --init >/dev/null 2>&1
  wineserver -w  # until the prefix is written and its server gone
fi
# One Wine server for all the tests (it stays until cleanup stops it), and
# Wine's own processes started now: started by the first test instead, they
# would hold that test's output open, and ctest would wait for them.
wineserver -p
wineboot >/dev/null 2>&1
ctest --test-dir "$out" --output-on-failure -j"$jobs"
